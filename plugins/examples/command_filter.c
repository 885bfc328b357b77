/* Example plug-in: refuses chosen commands with a reply of its own, for the accounts that
 * list it in their [UserPlugIn] section.
 *
 * The commands come from command_filter.txt in the plug-in's own folder (the server
 * makes that folder the current directory while it loads the plug-in). Each line holds
 * a command word and the reply to send, for example
 *
 *     DELE 550 Deleting is switched off here.
 *
 * Words are compared without regard to letter case; lines starting with '#' and blank
 * lines are skipped. The list is read once, in nfd_Init, and only read afterwards, so the
 * hook is safe to call from many sessions at once. */
#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "nfd_plugin.h"

#define MAX_RULES 64
#define WORD_SIZE 16
#define REPLY_SIZE 500

struct rule {
  char word[WORD_SIZE];
  char reply[REPLY_SIZE];
};

static struct rule rules[MAX_RULES];
static int rule_count;

static int same_word(const char *a, const char *b) {
  for (; *a && *b; ++a, ++b) {
    if (toupper((unsigned char)*a) != toupper((unsigned char)*b)) return 0;
  }
  return *a == '\0' && *b == '\0';
}

static void trim_end(char *text) {
  size_t n = strlen(text);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) text[--n] = '\0';
}

static void add_rule(char *line) {
  char *space;
  struct rule *r;
  trim_end(line);
  if (line[0] == '#' || line[0] == '\0' || rule_count == MAX_RULES) return;
  space = strchr(line, ' ');
  if (space == NULL || space - line >= WORD_SIZE) return;
  r = &rules[rule_count];
  memcpy(r->word, line, (size_t)(space - line));
  r->word[space - line] = '\0';
  snprintf(r->reply, sizeof r->reply, "%s\r\n", space + 1);
  ++rule_count;
}

int nfd_Init(void) {
  char line[REPLY_SIZE + WORD_SIZE];
  FILE *file = fopen("command_filter.txt", "r");
  rule_count = 0;
  if (file == NULL) return 0;
  while (fgets(line, sizeof line, file) != NULL) add_rule(line);
  fclose(file);
  return 0;
}

int nfd_Exit(void) { return 0; }

const char *nfd_GetInfo(void) {
  return "command_filter: refuses the commands listed in command_filter.txt.";
}

int nfd_FtpdMessage(int code, int command, const char *line, nfd_session *session) {
  char word[WORD_SIZE];
  size_t n = 0;
  int i;
  (void)command;
  if (code != NFD_MSG_COMMAND || line == NULL) return NFD_CONTINUE;
  while (line[n] != '\0' && line[n] != ' ' && n + 1 < sizeof word) {
    word[n] = line[n];
    ++n;
  }
  word[n] = '\0';
  for (i = 0; i < rule_count; ++i) {
    if (same_word(word, rules[i].word)) {
      snprintf(session->message, NFD_MESSAGE_SIZE, "%s", rules[i].reply);
      return NFD_ANSWER;
    }
  }
  return NFD_CONTINUE;
}
