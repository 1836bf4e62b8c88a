"""``python3 -m virelo ...`` is the ``virelo`` command: it runs the installed tool with the same
arguments, so that there is one command line ($VIRELO_TOOL names another binary)."""

import os
import sys


def main() -> None:
    tool = os.environ.get("VIRELO_TOOL", "virelo")
    try:
        os.execvp(tool, ["virelo", *sys.argv[1:]])
    except OSError as error:
        print(f"python3 -m virelo: cannot run {tool}: {error.strerror}", file=sys.stderr)
        sys.exit(127)


if __name__ == "__main__":
    main()
