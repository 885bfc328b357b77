/* Shared body of the tag test plug-ins: each adds its tag to the reply of "SITE TAGS",
 * once through its per-account hook ("user:<tag>") and once through its all-users hook
 * ("all:<tag>"). The plug-in whose tag equals VELMORA_TEST_TAG_LAST ends the reply.
 * The client thus sees which hooks ran, in which order. Define TAG before including. */
#include <stdlib.h>
#include <string.h>

#include "nfd_plugin.h"

static void add_tag(nfd_session *session, const char *kind) {
  char *m = session->message;
  size_t n = strlen(m);
  if (strncmp(m, "200 tags:", 9) != 0 || (n >= 2 && m[n - 2] == '\r' && m[n - 1] == '\n')) {
    strcpy(m, "200 tags:");
    n = strlen(m);
  }
  if (n + strlen(kind) + strlen(TAG) + 4 < NFD_MESSAGE_SIZE) {
    strcat(m, " ");
    strcat(m, kind);
    strcat(m, TAG);
  }
}

static int is_tags_line(int code, const char *line) {
  return code == NFD_MSG_COMMAND && line != NULL && strcmp(line, "SITE TAGS") == 0;
}

int nfd_Init(void) { return 0; }
int nfd_Exit(void) { return 0; }

int nfd_FtpdMessage(int code, int command, const char *line, nfd_session *session) {
  (void)command;
  if (is_tags_line(code, line)) add_tag(session, "user:");
  return NFD_CONTINUE;
}

int nfd_FtpdMessageAllUsr(int code, int command, const char *line, nfd_session *session) {
  const char *last = getenv("VELMORA_TEST_TAG_LAST");
  (void)command;
  if (!is_tags_line(code, line)) return NFD_CONTINUE;
  add_tag(session, "all:");
  if (last == NULL || strcmp(last, TAG) != 0) return NFD_CONTINUE;
  strcat(session->message, "\r\n");
  return NFD_ANSWER;
}
