/* Example plug-in: posts every command line of every session to the Manager's log view.
 *
 * Load it as a system plug-in ([SysPlugIn] in velmoraFTPd.ini); no account needs to
 * list it, because it uses the all-users hook. The password of PASS is masked. */
#include <stdio.h>
#include <string.h>

#include "nfd_plugin.h"

static const nfd_host_services *host;

int nfd_Init(void) { return 0; }
int nfd_Exit(void) { return 0; }

int nfd_FtpdClbk(const nfd_host_services *services) {
  host = services;
  return 0;
}

const char *nfd_GetInfo(void) {
  return "command_logger: shows every command line in the Manager's log view.";
}

/* The per-account hook is required; this plug-in does all its work for every user. */
int nfd_FtpdMessage(int code, int command, const char *line, nfd_session *session) {
  (void)code, (void)command, (void)line, (void)session;
  return NFD_CONTINUE;
}

int nfd_FtpdMessageAllUsr(int code, int command, const char *line, nfd_session *session) {
  char text[700];
  if (code != NFD_MSG_COMMAND || line == NULL || host == NULL) return NFD_CONTINUE;
  if (command == NFD_CMD_PASS)
    line = "PASS ****";
  snprintf(text, sizeof text, "[%u] %s: %s", session->session_id, session->user_name, line);
  host->post_text(text);
  return NFD_CONTINUE;
}
