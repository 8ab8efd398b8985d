"""A loopback HTTP server for the about window tests: serves FOLDER on 127.0.0.1 at a free port,
prints the port on its first line of output and stops by itself after --lifetime seconds."""
import argparse
import functools
import http.server
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--lifetime", type=float, default=300)
    args = parser.parse_args()
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=args.folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    print(server.server_address[1], flush=True)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
