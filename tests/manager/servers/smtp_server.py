"""An SMTP server for the account mail test: aiosmtpd with STARTTLS required and AUTH
(PLAIN, LOGIN) over TLS only. Each message it takes is parsed with the strict policy of
Python's email package and written as JSON to <folder>/message.json.

usage: smtp_server.py PORT FOLDER CERT KEY USER PASSWORD
"""
import asyncio
import email
import email.policy
import json
import os
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

port, folder, cert, key, user, password = sys.argv[1:7]


class Handler:
    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content
        result = {"tls": session.ssl is not None, "authenticated": bool(session.authenticated),
                  "mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                  "mail_options": envelope.mail_options}
        try:
            message = email.message_from_bytes(raw, policy=email.policy.strict)
            result.update({"parsed": True, "subject": str(message["subject"]),
                           "from": str(message["from"]), "to": str(message["to"]),
                           "date": str(message["date"]), "message_id": str(message["message-id"]),
                           "content_type": message.get_content_type(),
                           "charset": message.get_content_charset(),
                           "body": message.get_content()})
        except Exception as error:  # what a strict reader refuses is the test's finding
            result.update({"parsed": False, "error": repr(error)})
        with open(os.path.join(folder, "message.json"), "w", encoding="utf-8") as out:
            json.dump(result, out, ensure_ascii=False)
        return "250 OK message taken"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login == user.encode()
          and auth_data.password == password.encode())
    # The refusal text is given: without it this aiosmtpd drops the connection instead.
    return AuthResult(success=ok, handled=False,
                      message=None if ok else "535 5.7.8 Authentication credentials invalid")


context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
context.load_cert_chain(cert, key)
controller = Controller(Handler(), hostname="127.0.0.1", port=int(port), tls_context=context,
                        require_starttls=True, authenticator=authenticate, auth_require_tls=True)
controller.start()
open(os.path.join(folder, "ready"), "w").close()
try:
    asyncio.get_event_loop().run_until_complete(asyncio.sleep(600))
except KeyboardInterrupt:
    pass
finally:
    controller.stop()
