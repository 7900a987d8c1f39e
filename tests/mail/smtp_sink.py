#!/usr/bin/python3
# A loopback SMTP server for the mail tests and benchmark: aiosmtpd on 127.0.0.1 and a free
# port, written to PORT_FILE once listening; each accepted message is stored in DIR as N.eml
# (the data as received, dot-stuffing undone) and N.json (the envelope), or dropped without DIR.
# Runs until SIGTERM.
import asyncio
import json
import os
import signal
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        if self.folder:
            self.count += 1
            base = os.path.join(self.folder, str(self.count))
            with open(base + ".json", "w") as f:
                json.dump({"helo": session.host_name, "mail_from": envelope.mail_from,
                           "rcpt_tos": envelope.rcpt_tos}, f)
            with open(base + ".tmp", "wb") as f:
                f.write(envelope.content)
            os.rename(base + ".tmp", base + ".eml")  # complete files only
        return "250 Message accepted for delivery"


async def main(port_file, folder):
    loop = asyncio.get_running_loop()
    handler = Sink(folder)
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="nimbo-sink", data_size_limit=64 * 1024 * 1024),
        "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    with open(port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(port_file + ".tmp", port_file)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    await stop.wait()
    server.close()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else None))
