/* Test plug-in that lacks nfd_Exit: the server must refuse it, so its NOOP answer
 * must never be seen. */
#include <string.h>

#include "nfd_plugin.h"

int nfd_Init(void) { return 0; }

int nfd_FtpdMessage(int code, int command, const char *line, nfd_session *session) {
  (void)code, (void)command, (void)line, (void)session;
  return NFD_CONTINUE;
}

int nfd_FtpdMessageAllUsr(int code, int command, const char *line, nfd_session *session) {
  (void)line;
  if (code != NFD_MSG_COMMAND || command != NFD_CMD_NOOP) return NFD_CONTINUE;
  strcpy(session->message, "200 no_exit answered NOOP.\r\n");
  return NFD_ANSWER;
}
