#!/usr/bin/env python3
"""Another program using a SQLite database: runs each line read from stdin as one SQL statement
on its own connection (no implicit transactions, so BEGIN/COMMIT are the test's) and answers
"ok", or "error: <message>", on a line of its own. Ends, closing the database, at end of input.
Usage: sqlite_peer.py DATABASE"""
import sqlite3
import sys


def main() -> None:
    connection = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=0)
    for line in sys.stdin:
        try:
            for _ in connection.execute(line):
                pass
            print("ok", flush=True)
        except sqlite3.Error as error:
            print(f"error: {error}", flush=True)
    connection.close()


if __name__ == "__main__":
    main()
