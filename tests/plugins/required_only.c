/* Test plug-in with only the three required exports. For the accounts that list it, it
 * answers NOOP itself. */
#include <string.h>

#include "nfd_plugin.h"

int nfd_Init(void) { return 0; }
int nfd_Exit(void) { return 0; }

int nfd_FtpdMessage(int code, int command, const char *line, nfd_session *session) {
  (void)line;
  if (code != NFD_MSG_COMMAND || command != NFD_CMD_NOOP) return NFD_CONTINUE;
  strcpy(session->message, "200 required_only answered NOOP.\r\n");
  return NFD_ANSWER;
}
