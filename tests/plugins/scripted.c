/* Test plug-in whose behaviour the test chooses through environment variables of the
 * server process, so that one shared object serves many tests:
 *
 * VELMORA_TEST_REFUSE_CONNECT=text  refuse every connection at code 8 with "text\r\n".
 * VELMORA_TEST_RECORD=1             note the message codes of each session (with a few
 *                                   session fields) and post them at code 5.
 * VELMORA_TEST_FEED=line            deliver "line\r\n" as the first control-connection
 *                                   read of every session (socket code 2).
 * VELMORA_TEST_REWRITE=1            send downloads and listings upper-cased from a buffer
 *                                   of its own (code 1), receive uploads itself (code 0),
 *                                   and post the byte and block counts at code 4.
 * Always: "SITE POST <n>" posts a text of n characters; "SITE REPLACE" exercises the
 * host's replace_string and posts its result. */
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "nfd_plugin.h"

/* The POSIX receive call (from the C library); declared here to keep the plug-in free
 * of system headers. */
extern long recv(int socket, void *buffer, unsigned long length, int flags);

static const nfd_host_services *host;

static _Thread_local char record_text[1024];
static _Thread_local int fed;
static _Thread_local char *out_buffer;
static _Thread_local size_t out_size;
static _Thread_local long sent_bytes, received_bytes;
static _Thread_local int sent_blocks, received_blocks;

static int enabled(const char *name) { return getenv(name) != NULL; }

static void note(const char *text) {
  size_t used = strlen(record_text);
  if (used + strlen(text) + 2 >= sizeof record_text) return;
  if (used > 0) strcat(record_text, " ");
  strcat(record_text, text);
}

int nfd_Init(void) { return 0; }
int nfd_Exit(void) { return 0; }
int nfd_FtpdClbk(const nfd_host_services *services) {
  host = services;
  return 0;
}

int nfd_FtpdMessage(int code, int command, const char *line, nfd_session *session) {
  (void)code, (void)command, (void)line, (void)session;
  return NFD_CONTINUE;
}

static void record_message(int code, int command, nfd_session *session) {
  char item[400];
  if (code == NFD_MSG_CONNECT) {
    record_text[0] = '\0';
    snprintf(item, sizeof item, "8(%s,%s)", session->address_text,
             session->session_id != 0 ? "id" : "no-id");
  } else if (code == NFD_MSG_COMMAND) {
    snprintf(item, sizeof item, "1:%d", command);
  } else if (code == NFD_MSG_LOGIN) {
    snprintf(item, sizeof item, "4(%.3s,%s,%d,%s)", session->message, session->user_name,
             session->login_state, session->current_directory[0] ? "dir" : "no-dir");
  } else if (code == NFD_MSG_USER) {
    snprintf(item, sizeof item, "3(%s)", session->user_name);
  } else {
    snprintf(item, sizeof item, "%d", code);
  }
  note(item);
  if (code == NFD_MSG_END && host != NULL) {
    char text[1100];
    snprintf(text, sizeof text, "record: %s", record_text);
    host->post_text(text);
  }
}

static int post_pattern(const char *count_text, nfd_session *session) {
  long n = strtol(count_text, NULL, 10);
  char *text;
  long i;
  if (n < 0 || n > 100000 || host == NULL) return NFD_CONTINUE;
  text = malloc((size_t)n + 1);
  if (text == NULL) return NFD_CONTINUE;
  for (i = 0; i < n; ++i) text[i] = (char)('a' + i % 26);
  text[n] = '\0';
  host->post_text(text);
  free(text);
  strcpy(session->message, "200 posted.\r\n");
  return NFD_ANSWER;
}

static int replace_demo(nfd_session *session) {
  char *p = host->replace_string(NULL, "first text");
  if (p == NULL) {
    strcpy(session->message, "451 out of memory.\r\n");
    return NFD_ANSWER;
  }
  p = host->replace_string(p, "second text");
  p = host->replace_string(p, p + 7); /* the new text lies inside the old one */
  host->post_text(p);
  p = host->replace_string(p, NULL);
  strcpy(session->message, p == NULL ? "200 replaced.\r\n" : "500 not freed.\r\n");
  return NFD_ANSWER;
}

int nfd_FtpdMessageAllUsr(int code, int command, const char *line, nfd_session *session) {
  const char *refuse = getenv("VELMORA_TEST_REFUSE_CONNECT");
  if (enabled("VELMORA_TEST_RECORD")) record_message(code, command, session);
  if (code == NFD_MSG_CONNECT && refuse != NULL) {
    snprintf(session->message, NFD_MESSAGE_SIZE, "%s\r\n", refuse);
    return NFD_END;
  }
  if (code != NFD_MSG_COMMAND || line == NULL || host == NULL) return NFD_CONTINUE;
  if (strncmp(line, "SITE POST ", 10) == 0) return post_pattern(line + 10, session);
  if (strcmp(line, "SITE REPLACE") == 0) return replace_demo(session);
  return NFD_CONTINUE;
}

static int feed(nfd_io *record) {
  const char *line = getenv("VELMORA_TEST_FEED");
  int n;
  if (line == NULL || fed) return NFD_CONTINUE;
  fed = 1;
  n = snprintf(record->buffer, (size_t)record->length, "%s\r\n", line);
  if (n < 0 || n >= record->length) return NFD_CONTINUE;
  record->length = n;
  return NFD_TAKEN;
}

static int send_upper(nfd_io *record) {
  int i;
  if (record->length <= 0) return NFD_CONTINUE;
  if ((size_t)record->length > out_size) {
    free(out_buffer);
    out_buffer = malloc((size_t)record->length);
    out_size = out_buffer != NULL ? (size_t)record->length : 0;
    if (out_buffer == NULL) return NFD_CONTINUE;
  }
  for (i = 0; i < record->length; ++i)
    out_buffer[i] = (char)toupper((unsigned char)record->buffer[i]);
  record->buffer = out_buffer;
  sent_bytes += record->length;
  ++sent_blocks;
  return NFD_CONTINUE;
}

static int receive_counted(nfd_io *record) {
  long n = recv(record->socket, record->buffer, (unsigned long)record->length, 0);
  record->length = n > 0 ? (int)n : 0;
  received_bytes += record->length;
  if (n > 0) ++received_blocks;
  return NFD_TAKEN;
}

static void report_counts(void) {
  char text[200];
  snprintf(text, sizeof text, "rewrite: sent %ld bytes in %d blocks, received %ld bytes in %d blocks",
           sent_bytes, sent_blocks, received_bytes, received_blocks);
  if (host != NULL) host->post_text(text);
  sent_bytes = received_bytes = 0;
  sent_blocks = received_blocks = 0;
  free(out_buffer);
  out_buffer = NULL;
  out_size = 0;
}

int nfd_SocketAllUsr(int code, nfd_io *record, nfd_session *session) {
  (void)session;
  if (code == NFD_SOCK_CONTROL_RECEIVE) return feed(record);
  if (enabled("VELMORA_TEST_RECORD") && code == NFD_SOCK_SESSION_END) note("s5");
  if (!enabled("VELMORA_TEST_REWRITE")) return NFD_CONTINUE;
  if (code == NFD_SOCK_DATA_SEND) return send_upper(record);
  if (code == NFD_SOCK_DATA_RECEIVE) return receive_counted(record);
  if (code == NFD_SOCK_ROUTINE_END) report_counts();
  return NFD_CONTINUE;
}
