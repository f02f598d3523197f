"""Log records of the compiled core reach Python's logging."""

import logging
import sys

import pytest

from tesk_privacy import _native, log_bridge
from tesk_privacy.framework import AnalyzerEngine, NlpEngineProvider, Pattern, PatternRecognizer, RecognizerRegistry
from tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer import CustomLemmaContextAwareEnhancer


@pytest.fixture
def records():
    """Records reaching the "tesk_privacy" logger; levels restored afterwards."""
    kept = []

    class Keep(logging.Handler):
        def emit(self, record):
            kept.append((record.name, record.levelno, record.getMessage()))

    root = logging.getLogger("tesk_privacy")
    handler = Keep(level=logging.DEBUG)
    root.addHandler(handler)
    saved = root.level
    yield kept
    root.removeHandler(handler)
    root.setLevel(saved)
    log_bridge.sync_log_levels()


@pytest.mark.parametrize("level", [logging.DEBUG, logging.INFO, logging.WARNING, logging.ERROR, logging.CRITICAL])
def test_records_keep_name_and_level(records, level):
    logging.getLogger("tesk_privacy").setLevel(logging.DEBUG)
    log_bridge.sync_log_levels()
    _native._log("tesk_privacy.pii_detector.some_module", level, "message with 100% of a text é")
    assert records == [("tesk_privacy.pii_detector.some_module", level, "message with 100% of a text é")]


def test_levels_follow_python_after_sync(records):
    logging.getLogger("tesk_privacy").setLevel(logging.WARNING)
    log_bridge.sync_log_levels()
    assert _native._default_log_level() == logging.WARNING
    _native._log("tesk_privacy.x", logging.INFO, "dropped in C++")
    assert records == []

    # One module at DEBUG: its records come through, its siblings' do not.
    logging.getLogger("tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer").setLevel(logging.DEBUG)
    log_bridge.sync_log_levels()
    recognizer = PatternRecognizer("ACCOUNT", [Pattern("digits", r"\b\d{10}\b", 0.3)], "en", context=["account"])
    registry = RecognizerRegistry([recognizer])
    engine = AnalyzerEngine(registry, NlpEngineProvider().create_engine(), ["en"],
                            CustomLemmaContextAwareEnhancer(0.45, 0.46))
    engine.analyze("account number 1234567890", "en")
    _native._log("tesk_privacy.other", logging.DEBUG, "not this one")
    messages = [m for name, level, m in records]
    assert "Found exact context match 'account'" in messages
    assert "not this one" not in messages
    assert {name for name, _, _ in records} == {"tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer"}
    logging.getLogger("tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer").setLevel(logging.NOTSET)


def test_a_failing_handler_does_not_break_the_library(records, monkeypatch):
    class Broken(logging.Handler):
        def emit(self, record):
            raise RuntimeError("handler broke")

    unraisable = []
    monkeypatch.setattr(sys, "unraisablehook", unraisable.append)
    logger = logging.getLogger("tesk_privacy.broken")
    broken = Broken()
    logger.addHandler(broken)
    try:
        _native._log("tesk_privacy.broken", logging.ERROR, "lost")
    finally:
        logger.removeHandler(broken)
    _native._log("tesk_privacy.broken", logging.ERROR, "still fine")
    assert [str(u.exc_value) for u in unraisable] == ["handler broke"]
    assert records == [("tesk_privacy.broken", logging.ERROR, "still fine")]


def test_exit_with_the_bridge_installed_is_clean():
    from conftest import run_python

    done = run_python(
        """
import logging, threading
logging.basicConfig(level=logging.DEBUG)
from tesk_privacy import _native, log_bridge
import tesk_privacy.framework
log_bridge.sync_log_levels()
def spam():
    while True:
        _native._log("tesk_privacy.spam", 20, "spam")
threading.Thread(target=spam, daemon=True).start()
_native._log("tesk_privacy.main", 30, "bye")
"""
    )
    assert done.returncode == 0, done.stderr
    assert "WARNING:tesk_privacy.main:bye" in done.stderr


def test_levels_set_through_logging_take_effect_at_once(records):
    logging.getLogger("tesk_privacy").setLevel(logging.ERROR)
    assert _native._default_log_level() == logging.ERROR
    _native._log("tesk_privacy.x", logging.WARNING, "dropped in C++")
    logging.getLogger("tesk_privacy").setLevel(logging.DEBUG)
    _native._log("tesk_privacy.x", logging.DEBUG, "kept")
    assert records == [("tesk_privacy.x", logging.DEBUG, "kept")]
