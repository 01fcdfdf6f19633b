"""The typical query's walk in Python's sqlite3 module, printing the same
text as the script host's walk (numbers as Python's str gives them, which
matches the automation text form for these values)."""
import sqlite3
import sys


def main() -> None:
    db = sqlite3.connect(sys.argv[1])
    out = sys.stdout
    for row in db.execute("SELECT id, name, price, qty, note FROM items ORDER BY id"):
        out.write("\t".join(str(v) for v in row))
        out.write("\n")
    db.close()


if __name__ == "__main__":
    main()
