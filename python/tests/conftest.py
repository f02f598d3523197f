"""Shared helpers of the Python package's tests.

Run from a build tree:  PYTHONPATH=<build>/python python3 -m pytest python/tests
"""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import pytest


def run_python(code: str) -> subprocess.CompletedProcess:
    """Runs `code` in a fresh interpreter (for what happens at import time)."""
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=dict(os.environ), timeout=120)


def run_python_json(code: str):
    """Runs `code`, which prints one JSON document, and returns it decoded."""
    done = run_python(code)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


@pytest.fixture(scope="session")
def text_analyzer():
    from tesk_privacy.pii_detector import TextAnalyzer

    return TextAnalyzer()


@pytest.fixture(scope="session")
def cli():
    """The tesk-privacy command the tests compare with (TESK_PRIVACY_CLI)."""
    path = os.environ.get("TESK_PRIVACY_CLI")
    if not path or not os.path.exists(path):
        pytest.skip("TESK_PRIVACY_CLI does not name the tesk-privacy command")
    return path


def free_port() -> int:
    """A loopback port nobody listens on now."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(proc, port: int, what: str, seconds: float) -> None:
    """Waits until `proc` accepts connections on `port`; kills it and fails the test otherwise."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return
        except OSError:
            time.sleep(0.05)
    proc.kill()
    pytest.fail(f"{what} did not start")


@pytest.fixture()
def redis_server():
    """A redis-server of its own on a free loopback port, stopped afterwards."""
    server = shutil.which("redis-server") or ("/usr/bin/redis-server" if os.path.exists("/usr/bin/redis-server") else None)
    if server is None:
        pytest.skip("redis-server is not installed (scripts/setup.sh installs it)")
    port = free_port()
    workdir = tempfile.mkdtemp()
    proc = subprocess.Popen([server, "--port", str(port), "--bind", "127.0.0.1", "--save", "", "--appendonly", "no",
                             "--dir", workdir], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for_port(proc, port, "redis-server", 10)
    yield proc, port
    proc.kill()
    proc.wait(timeout=10)
    shutil.rmtree(workdir, ignore_errors=True)
