"""Shared helpers of the Python package's tests.

Run from a build tree:  PYTHONPATH=<build>/python python3 -m pytest python/tests
"""

import json
import os
import subprocess
import sys

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
