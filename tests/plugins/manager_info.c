/* Test plug-in for the Manager's plug-in table: exports everything the Manager uses.
 *
 * nfd_GetInfo  returns "manager_info inits=<n> setprop=<last settings file>" and, when the
 *              host table was handed over, posts "manager_info: info asked" through it and
 *              checks replace_string (posting "manager_info: replace ok" when it works).
 * nfd_SetProp  remembers the settings file it was given.
 * nfd_FtpdClbk posts "manager_info: services received".
 * nfd_Exit     appends "exit\n" to the file named by MANAGER_PLUGIN_EXIT_LOG, when set. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "nfd_plugin.h"

static const nfd_host_services *host;
static int inits;
static char last_settings[600] = "none";
static char info[800];

int nfd_Init(void) {
  ++inits;
  return 0;
}

int nfd_Exit(void) {
  const char *log = getenv("MANAGER_PLUGIN_EXIT_LOG");
  if (log != NULL) {
    FILE *f = fopen(log, "a");
    if (f != NULL) {
      fputs("exit\n", f);
      fclose(f);
    }
  }
  host = NULL;
  return 0;
}

int nfd_FtpdMessage(int code, int command, const char *line, nfd_session *session) {
  (void)code, (void)command, (void)line, (void)session;
  return NFD_CONTINUE;
}

int nfd_FtpdClbk(const nfd_host_services *services) {
  host = services;
  host->post_text("manager_info: services received");
  return 0;
}

int nfd_SetProp(void *parent_window, const char *settings_file) {
  (void)parent_window;
  snprintf(last_settings, sizeof last_settings, "%s", settings_file ? settings_file : "(null)");
  return 0;
}

const char *nfd_GetInfo(void) {
  if (host != NULL) {
    char *text = host->replace_string(NULL, "first");
    text = host->replace_string(text, "second");
    if (text != NULL && strcmp(text, "second") == 0) host->post_text("manager_info: replace ok");
    host->replace_string(text, NULL);
    host->post_text("manager_info: info asked");
  }
  snprintf(info, sizeof info, "manager_info inits=%d setprop=%s", inits, last_settings);
  return info;
}

/* For tests: posts text through the host table kept since nfd_FtpdClbk (0 when there is
 * none), from whatever thread calls it. */
int manager_info_post(const char *text) {
  if (host == NULL) return 0;
  return host->post_text(text);
}
