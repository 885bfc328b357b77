/* velmoraFTPd plug-in interface. A plug-in is a shared object that exports nfd_Init,
 * nfd_Exit and nfd_FtpdMessage with C linkage, and may export the other six entry
 * points. See plugins/README.md. */
#ifndef NFD_PLUGIN_H
#define NFD_PLUGIN_H

#ifdef __cplusplus
extern "C" {
#endif

#define NFD_MESSAGE_SIZE 2048

/* The part of a session a plug-in may touch. The host owns it; it is valid for the
 * duration of one call. */
typedef struct nfd_session {
  /* Reply and event text buffer. A plug-in that answers a command (result 1 or 2)
   * writes its reply here, NUL-terminated, ending in CR LF. */
  char message[NFD_MESSAGE_SIZE];
  /* Session id as shown to the Manager (never 0). Read only. */
  unsigned int session_id;
  /* 0 connected, 1 user accepted, 2 logged in. Read only. */
  int login_state;
} nfd_session;

#ifdef __cplusplus
}
#endif

#endif
