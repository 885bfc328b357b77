/* velmoraFTPd plug-in interface.
 *
 * A plug-in is a shared object that exports nfd_Init, nfd_Exit and nfd_FtpdMessage with
 * C linkage, and may export the other six entry points below. The server looks each
 * entry point up by its exact name. See plugins/README.md for a guide.
 *
 * Everything in this header is plain C89 and has the same layout for the server and for
 * every plug-in built against it with the same compiler ABI. */
#ifndef NFD_PLUGIN_H
#define NFD_PLUGIN_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Sizes of the session's fixed text fields (each includes the terminating NUL) ---- */

#define NFD_MESSAGE_SIZE 2048
#define NFD_NAME_SIZE 256      /* user name, host text */
#define NFD_ADDRESS_SIZE 20    /* dotted IPv4 address */
#define NFD_PATH_SIZE 261      /* folder on the server's disk */

/* ---- Message codes: first argument of nfd_FtpdMessage / nfd_FtpdMessageAllUsr ---- */

#define NFD_MSG_CONNECT 8  /* session start, before any refusal test and the greeting */
#define NFD_MSG_USER 3     /* USER has loaded the account file */
#define NFD_MSG_LOGIN 4    /* login succeeded; message holds the login reply */
#define NFD_MSG_COMMAND 1  /* every command line, before the server handles it */
#define NFD_MSG_END 5      /* session end (after NFD_SOCK_SESSION_END); result ignored */

/* ---- Results of the message hooks ---- */

#define NFD_CONTINUE 0  /* no effect: the server goes on as usual */
#define NFD_ANSWER 1    /* code 1: send message as the reply and skip the server's own
                           handling; codes 3, 4, 8: no effect */
#define NFD_END 2       /* send message as the reply and end the session */

/* ---- Socket codes: first argument of nfd_Socket / nfd_SocketAllUsr ---- */

#define NFD_SOCK_DATA_RECEIVE 0    /* before each receive on the data connection (uploads) */
#define NFD_SOCK_DATA_SEND 1       /* before each send on the data connection */
#define NFD_SOCK_CONTROL_RECEIVE 2 /* before each receive on the control connection */
#define NFD_SOCK_CONTROL_SEND 3    /* before each reply on the control connection */
#define NFD_SOCK_ROUTINE_END 4     /* a listing or transfer has ended; record is NULL */
#define NFD_SOCK_SESSION_END 5     /* the session ends; record is NULL */

/* Results of the socket hooks: NFD_TAKEN means the plug-in performed the operation itself
 * (the record's length then holds the byte count); NFD_CONTINUE lets the server perform it
 * with the record's socket, buffer and length as the plug-ins left them. */
#define NFD_TAKEN 1

/* ---- Command numbers passed with NFD_MSG_COMMAND ---- */

enum nfd_command {
  NFD_CMD_USER = 0,
  NFD_CMD_PASS = 1,
  NFD_CMD_ACCT = 2,
  NFD_CMD_CWD = 3,
  NFD_CMD_CDUP = 4,
  NFD_CMD_SMNT = 5,
  NFD_CMD_QUIT = 6,
  NFD_CMD_REIN = 7,
  NFD_CMD_PORT = 8,
  NFD_CMD_PASV = 9,
  NFD_CMD_TYPE = 10,
  NFD_CMD_STRU = 11,
  NFD_CMD_MODE = 12,
  NFD_CMD_RETR = 13,
  NFD_CMD_STOR = 14,
  NFD_CMD_STOU = 15,
  NFD_CMD_APPE = 16,
  NFD_CMD_ALLO = 17,
  NFD_CMD_REST = 18,
  NFD_CMD_RNFR = 19,
  NFD_CMD_RNTO = 20,
  NFD_CMD_ABOR = 21,
  NFD_CMD_DELE = 22,
  NFD_CMD_RMD = 23,
  NFD_CMD_MKD = 24,
  NFD_CMD_PWD = 25,
  NFD_CMD_LIST = 26,
  NFD_CMD_NLST = 27,
  NFD_CMD_SITE = 28,
  NFD_CMD_SYST = 29,
  NFD_CMD_STAT = 30,
  NFD_CMD_HELP = 31,
  NFD_CMD_NOOP = 32,
  NFD_CMD_EMPTY = 33, /* an empty command word, or one starting with a byte >= 0x80 */
  NFD_CMD_XPWD = 34,
  NFD_CMD_XCUP = 35,
  NFD_CMD_XCWD = 36,
  NFD_CMD_XMKD = 37,
  NFD_CMD_XRMD = 38,
  NFD_CMD_MDTM = 39,
  NFD_CMD_SIZE = 40,
  /* Added after the original set; the numbers above never change. */
  NFD_CMD_FEAT = 41, /* RFC 2389 */
  NFD_CMD_OPTS = 42, /* RFC 2389: UTF8 ON, MLST facts */
  NFD_CMD_MLSD = 43, /* RFC 3659 */
  NFD_CMD_MLST = 44, /* RFC 3659 */
  NFD_CMD_EPSV = 45, /* RFC 2428 */
  NFD_CMD_EPRT = 46, /* RFC 2428 */
  NFD_CMD_MFMT = 47, /* set a file's modification time */
  NFD_CMD_AUTH = 48, /* RFC 4217: TLS on the control connection */
  NFD_CMD_PBSZ = 49, /* RFC 4217 */
  NFD_CMD_PROT = 50, /* RFC 4217: P (protected) or C (clear) data connections */
  NFD_CMD_CCC = 51,  /* RFC 4217: always refused */
  NFD_CMD_UNKNOWN = 255 /* any other word */
};

/* ---- The I/O record of the socket hooks ----
 *
 * Field by field: socket (the connection's handle, an int file descriptor here), two
 * reserved words (always 0), buffer (the bytes to send, or the room to receive into),
 * length (bytes to send / room available on entry; bytes sent / received when a plug-in
 * answers NFD_TAKEN). A plug-in may point buffer at memory of its own and change length,
 * then answer NFD_CONTINUE: the server sends that instead (the memory must stay valid
 * until the hook is called again on the same thread or the routine ends).
 *
 * FTP over TLS: on an encrypted connection (the control connection after AUTH TLS or on
 * the implicit-TLS port, a data connection under PROT P) the hooks still see plain text:
 * buffer holds the command line or data before the server encrypts it, or after it has
 * decrypted it. There socket is -1: only the server reads and writes the encrypted
 * socket. A plug-in that rewrites buffer and length and answers NFD_CONTINUE works the
 * same with and without TLS; one that answers NFD_TAKEN must produce or consume the
 * bytes itself, without the socket.
 *
 * Layout: with 32-bit pointers the record is 20 bytes with no padding. With 64-bit
 * pointers the compiler aligns buffer to 8 bytes, so the record is 32 bytes: 4 bytes of
 * padding after reserved2 and 4 after length. Always use the field names. */
typedef struct nfd_io {
  int socket;
  int reserved1;
  int reserved2;
  char *buffer;
  int length;
} nfd_io;

/* ---- Services the host offers; handed to nfd_FtpdClbk once after nfd_Init ----
 *
 * post_text: sends text to the Manager's log view (an admin event of type 26). At most
 *   4170 bytes are sent; longer texts are cut. Returns 1. Callable from any thread,
 *   including threads the plug-in starts itself.
 * replace_string: returns a copy of new_text made with the host's allocator (malloc) and
 *   then frees old_text with the host's allocator (free); old_text may be NULL, and
 *   new_text may point into old_text. With new_text NULL it only frees old_text and
 *   returns NULL. When the copy cannot be made it returns NULL; if that happens inside a
 *   message hook, the session ends with "330 Internal Server Error" once the hook has
 *   returned. Free what it returns only through replace_string(p, NULL) or free(). */
typedef struct nfd_host_services {
  int (*post_text)(const char *text);
  char *(*replace_string)(char *old_text, const char *new_text);
} nfd_host_services;

/* ---- What a plug-in sees of a session ----
 *
 * message: the reply buffer. A plug-in that answers (NFD_ANSWER or NFD_END) writes its
 *   reply here: NUL-terminated, each line ending in CR LF, multi-line replies in the
 *   "code-" form. At NFD_MSG_LOGIN it already holds the login reply, which the plug-in
 *   may rewrite. The host cuts anything longer than 2047 bytes. Written by plug-ins only
 *   in message hooks.
 * session_id: the id the Manager shows for the session; never 0 and never reused while
 *   the server runs. Use it (not the pointer) to keep per-session state.
 * login_state: 0 connected, 1 user accepted (waiting for PASS), 2 logged in.
 * user_name: the name given with USER ("UnKnown" before that).
 * host_text: the client's host name, or its dotted address when names are not looked up.
 * address_text: the client's dotted IPv4 address.
 * current_directory: the session's current folder on the server's disk, ending in "/"
 *   (empty before login).
 *
 * The host fills every field but message before each call; all of them are read-only
 * for plug-ins (changes are overwritten and never read back). In message hooks the
 * pointer is the session's own record and stays the same for the whole session. In
 * socket hooks it points to a copy made for that call (message is empty there), because
 * socket hooks of one session run on two threads at once. */
typedef struct nfd_session {
  char message[NFD_MESSAGE_SIZE];
  unsigned int session_id;
  int login_state;
  char user_name[NFD_NAME_SIZE];
  char host_text[NFD_NAME_SIZE];
  char address_text[NFD_ADDRESS_SIZE];
  char current_directory[NFD_PATH_SIZE];
} nfd_session;

/* ---- Entry points ----
 *
 * Results called "ignored" are not looked at; return 0. */
typedef int (*nfd_Init_t)(void);                               /* required */
typedef int (*nfd_Exit_t)(void);                               /* required */
typedef int (*nfd_FtpdMessage_t)(int code, int command, const char *line,
                                 nfd_session *session);        /* required */
typedef int (*nfd_FtpdMessageAllUsr_t)(int code, int command, const char *line,
                                       nfd_session *session);
typedef int (*nfd_Socket_t)(int code, nfd_io *record, nfd_session *session);
typedef int (*nfd_SocketAllUsr_t)(int code, nfd_io *record, nfd_session *session);
typedef int (*nfd_FtpdClbk_t)(const nfd_host_services *services);
typedef const char *(*nfd_GetInfo_t)(void);                    /* Manager only */
typedef int (*nfd_SetProp_t)(void *parent_window, const char *settings_file); /* Manager */

/* Prototypes for plug-in sources (export them with default visibility). */
int nfd_Init(void);
int nfd_Exit(void);
int nfd_FtpdMessage(int code, int command, const char *line, nfd_session *session);
int nfd_FtpdMessageAllUsr(int code, int command, const char *line, nfd_session *session);
int nfd_Socket(int code, nfd_io *record, nfd_session *session);
int nfd_SocketAllUsr(int code, nfd_io *record, nfd_session *session);
int nfd_FtpdClbk(const nfd_host_services *services);
const char *nfd_GetInfo(void);
int nfd_SetProp(void *parent_window, const char *settings_file);

#ifdef __cplusplus
}
#endif

#endif
