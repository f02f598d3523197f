"""`python -m tesk_privacy ...` and the `tesk-privacy` command pip installs:
both run the command-line tool that travels in the package (tesk_privacy/bin),
with the same arguments, standard streams and exit status."""

import os
import shutil
import sys
from pathlib import Path


def command() -> str:
    """The tesk-privacy executable: the package's own, else TESK_PRIVACY_CLI,
    else one on PATH."""
    bundled = Path(__file__).resolve().parent / "bin" / "tesk-privacy"
    if bundled.is_file() and os.access(bundled, os.X_OK):
        return str(bundled)
    named = os.environ.get("TESK_PRIVACY_CLI")
    if named and os.access(named, os.X_OK):
        return named
    found = shutil.which("tesk-privacy")
    if found and Path(found).resolve() != Path(sys.argv[0]).resolve():
        return found
    raise SystemExit("tesk-privacy: the command-line tool is not installed with this package")


def main() -> None:
    executable = command()
    os.execv(executable, [executable, *sys.argv[1:]])


if __name__ == "__main__":
    main()
