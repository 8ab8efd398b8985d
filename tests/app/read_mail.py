"""Parses a message saved by smtp_server.py with Python's email package and prints, as JSON,
its headers (raw and decoded), the addresses, every part with its decoded bytes in base64, and
facts about its lines."""
import base64
import email
import email.policy
import json
import sys


def addresses(message, name):
    header = message[name]
    if header is None:
        return []
    return [{"name": a.display_name, "address": a.addr_spec} for a in header.addresses]


def main():
    raw = open(sys.argv[1], "rb").read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    head = raw.split(b"\r\n\r\n", 1)[0]
    lines = raw.split(b"\r\n")
    parts = []
    for part in message.iter_parts() if message.is_multipart() else [message]:
        payload = part.get_payload(decode=True) or b""
        parts.append({
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset(),
            "transfer_encoding": part.get("Content-Transfer-Encoding"),
            "disposition": part.get_content_disposition(),
            "filename": part.get_filename(),
            "bytes": base64.b64encode(payload).decode("ascii"),
        })
    print(json.dumps({
        # Header names as they start lines of the raw header: continuation lines are skipped.
        "header_names": [line.split(b":", 1)[0].decode("latin-1")
                         for line in head.split(b"\r\n") if line[:1] not in (b" ", b"\t")],
        "headers": {name: str(message[name]) for name in message.keys()},
        "defects": [str(d) for d in message.defects],
        "from": addresses(message, "From"),
        "to": addresses(message, "To"),
        "sender": addresses(message, "Sender"),
        "date": message["Date"].datetime.isoformat() if message["Date"] else None,
        "content_type": message.get_content_type(),
        "parts": parts,
        "longest_line": max(len(line) for line in lines),
        "bare_line_feeds": raw.replace(b"\r\n", b"").count(b"\n"),
        "eight_bit": any(byte > 127 for byte in raw),
    }, ensure_ascii=False))


if __name__ == "__main__":
    main()
