"""A loopback SMTP server for the mail tests.

Listens on 127.0.0.1 at a free port and prints the port on its first line of output. Every
accepted message is saved in FOLDER as N.eml (the bytes of the DATA phase) beside N.json (the
envelope). The first --refuse-senders MAIL commands are refused with 550. The server stops by
itself after --lifetime seconds.
"""
import argparse
import asyncio
import json
import os

from aiosmtpd.smtp import SMTP


class SavingHandler:
    def __init__(self, folder, refuse_senders):
        self.folder = folder
        self.refuse_senders = refuse_senders
        self.count = 0

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.refuse_senders > 0:
            self.refuse_senders -= 1
            return "550 5.7.1 Sender address rejected"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".json", "w", encoding="utf-8") as out:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}, out)
        with open(base + ".eml.part", "wb") as out:
            out.write(envelope.original_content)
        os.rename(base + ".eml.part", base + ".eml")
        return "250 Message accepted"


async def serve(folder, refuse_senders, lifetime):
    handler = SavingHandler(folder, refuse_senders)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="zendo-test"), "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await asyncio.sleep(lifetime)
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--refuse-senders", type=int, default=0)
    parser.add_argument("--lifetime", type=float, default=300)
    args = parser.parse_args()
    asyncio.run(serve(args.folder, args.refuse_senders, args.lifetime))


if __name__ == "__main__":
    main()
