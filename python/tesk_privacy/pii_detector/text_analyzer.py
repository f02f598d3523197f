"""``TextAnalyzer``: the PII detector.

It registers every built-in recognizer for "en" and "id" (plus the
framework's e-mail and phone recognizers for "id"), adds the caller's
recognizers, and runs them with context enhancement, the 0.46 score
threshold and a length filter that drops spans shorter than 2 or longer
than 138 characters::

    analyzer = TextAnalyzer()
    for r in analyzer.analyze("Hubungi Budi di 0812-3456-7890"):
        print(r.entity_type, r.start, r.end, r.score)

Construction is the expensive step; ``analyze`` changes nothing, runs in
C++ with the GIL released, and may be called from several threads at once.
"""

import numbers
from typing import Any, Dict, Iterable, List, Optional, Sequence

from tesk_privacy import log_bridge
from tesk_privacy._core import _native
from tesk_privacy._records import RecognizerResult
from tesk_privacy.config import ConfigSource, _resolve
from tesk_privacy.pii_detector.analyzer import DEFAULT_REGEX_FLAGS, BaseTextAnalyzer

#: {"nlp_engine_name": "spacy", "models": [{"lang_code": "en", "model_name": "en_core_web_sm"},
#:                                          {"lang_code": "id", "model_name": "en_core_web_sm"}]}
DEFAULT_NLP_CONFIGURATION: Dict[str, Any] = _native._default_nlp_configuration()

#: Spans of this many characters or more are not reported.
MAX_PII_TEXT_LENGTH: int = _native.MAX_PII_TEXT_LENGTH

# The engine's keyword arguments analyze() forwards, and those it accepts
# without use (the engine keeps no decision log and no correlation record).
_ENGINE_KEYWORDS = ("context", "ad_hoc_recognizers", "nlp_artifacts")
_IGNORED_KEYWORDS = ("correlation_id", "return_decision_process")


def _check_selection(
    analyzer: Any, entities: Optional[Sequence[str]], score_threshold: Any, ad_hoc: Sequence[Any] = ()
) -> None:
    """Raises ValueError for a score threshold outside 0..1, and for an entity
    type that none of ``analyzer``'s recognizers (nor ``ad_hoc``) reports:
    a typing mistake would otherwise give an empty result. Remote
    recognizers may report types of their own, so with one every type is
    let through, as it is for analyzers written in Python."""
    if score_threshold is not None and (
        isinstance(score_threshold, bool)
        or not isinstance(score_threshold, numbers.Real)
        or not 0 <= score_threshold <= 1
    ):
        raise ValueError(f"score_threshold must be a number from 0 to 1, not {score_threshold!r}")
    registry = getattr(analyzer, "_registry", None)
    if entities is None or registry is None:
        return
    recognizers = list(registry.recognizers) + list(ad_hoc or ())
    if any(isinstance(r, _native.RemoteRecognizer) for r in recognizers):
        return
    known = set(registry.get_supported_entities(["id", "en"]))
    for recognizer in ad_hoc or ():
        known.update(recognizer.supported_entities)
    for entity in entities:
        if entity not in known:
            raise ValueError(
                f"unknown entity type {entity!r}; the recognizers report {', '.join(sorted(known))}"
            )


def _engine_extras(kwargs: Dict[str, Any]) -> Dict[str, Any]:
    extras = {key: kwargs.pop(key) for key in _ENGINE_KEYWORDS if key in kwargs}
    for key in _IGNORED_KEYWORDS:
        kwargs.pop(key, None)
    if kwargs:
        raise TypeError(f"AnalyzerEngine.analyze() got an unexpected keyword argument '{next(iter(kwargs))}'")
    return extras


class TextAnalyzer(BaseTextAnalyzer):
    """The PII detector of Indonesian and English text.

    ``additional_recognizers`` (for instance remote recognizers, a
    ``ProjectNameRecognizer`` with extra names, or recognizers written in
    Python) are registered after the built-in ones. ``nlp_configuration``
    names the NLP pipeline per language (default
    :data:`DEFAULT_NLP_CONFIGURATION`).

    ``indonesian_formats=True`` adds the recognizers for PII as people in
    Indonesia write it (identity, account, card and phone numbers in groups,
    written-out e-mail addresses, dates, vehicle plates, street addresses,
    amounts with scale words; the extra entity types are
    :data:`tesk_privacy.pii_detector.constants.FORMAT_ENTITIES`) and settles
    their findings with the others so that every identifier is reported
    whole. The command-line tool turns it on by default.

    ``window_chars``: texts longer than this many characters are analyzed
    in overlapping windows of about that size, so memory follows the window,
    not the text (0, the default: whole; the command-line tool uses 2**17).

    ``config``: a configuration file's path or a
    :class:`tesk_privacy.config.PrivacyConfig`. Its recognizers are
    registered after ``additional_recognizers``, and its allow list is the
    default ``allow_list`` of :meth:`analyze` and :meth:`analyze_batch` (see
    :attr:`allow_list`). A bad file raises
    :class:`tesk_privacy.errors.ConfigError`.
    """

    def __init__(
        self,
        additional_recognizers: Optional[Iterable[Any]] = None,
        nlp_configuration: Optional[Dict[str, Any]] = None,
        indonesian_formats: bool = False,
        config: Optional[ConfigSource] = None,
        window_chars: int = 0,
    ) -> None:
        log_bridge.sync_log_levels()
        privacy_config = _resolve(config)
        recognizers = list(additional_recognizers or [])
        if privacy_config is not None:
            recognizers += privacy_config.recognizers
        configuration = nlp_configuration if nlp_configuration is not None else DEFAULT_NLP_CONFIGURATION
        if window_chars < 0:
            raise ValueError(f"window_chars must be 0 or more, not {window_chars}")
        self._native = _native.TextAnalyzer(
            recognizers, configuration, indonesian_formats=indonesian_formats, window_chars=window_chars
        )
        #: The allow list used when a call gives none: the configuration's,
        #: or None.
        self.allow_list: Optional[List[str]] = (privacy_config.allow_list or None) if privacy_config else None
        #: Whether the recognizers for Indonesian formats run.
        self.indonesian_formats: bool = indonesian_formats
        #: The window size for long texts (0: whole texts).
        self.window_chars: int = window_chars
        #: The framework engine that ``analyze`` runs (an ``AnalyzerEngine``).
        self.analyzer = self._native.analyzer
        self._registry = self._native.registry
        self.__post_processing_fn = (TextAnalyzer._filter_entities_based_on_the_text_length,)

    def analyze(  # type: ignore[override]
        self,
        text: str,
        language: str = "id",
        entities: Optional[List[str]] = None,
        score_threshold: float = 0.46,
        allow_list: Optional[List[str]] = None,
        allow_list_match: str = "exact",
        regex_flags: int = DEFAULT_REGEX_FLAGS,
        **kwargs: Any,
    ) -> List[RecognizerResult]:
        """The spans of PII in ``text``, in the order recognizers reported them.

        ``entities``: the entity types to report (None: all); a type no
        recognizer reports, or a ``score_threshold`` outside 0..1, raises
        ValueError.
        ``allow_list``: span texts never reported (None: :attr:`allow_list`,
        the configuration's); ``allow_list_match``
        "exact" compares them as they are, "regex" treats them as patterns
        that must match the whole span. ``regex_flags``: the ``re`` flags
        for every pattern. Further keywords go to the analyzer engine:
        ``context`` (the caller's context words, which raise the score of
        nearby results like a recognizer's own), ``ad_hoc_recognizers``
        (recognizers for this call only), ``nlp_artifacts`` (NLP output
        computed before), ``correlation_id`` and ``return_decision_process``
        (accepted, without effect); any other raises the engine's TypeError.
        """
        extras = _engine_extras(kwargs) if kwargs else {}
        _check_selection(self, entities, score_threshold, extras.get("ad_hoc_recognizers") or ())
        if allow_list is None:
            allow_list = self.allow_list
        return self._native.analyze(
            text, language, entities, score_threshold, allow_list, allow_list_match, regex_flags,
            extras.pop("context", None), **extras
        )

    def analyze_batch(
        self,
        texts: Sequence[str],
        language: str = "id",
        entities: Optional[List[str]] = None,
        score_threshold: float = 0.46,
        threads: int = 1,
    ) -> List[List[RecognizerResult]]:
        """``analyze`` of every text, in order, on ``threads`` threads.

        The GIL is released for the whole batch, and threads are started only
        when ``threads`` is more than one. The results are those of
        successive ``analyze`` calls; the first text that fails raises.
        The configuration's allow list (:attr:`allow_list`) applies.
        """
        _check_selection(self, entities, score_threshold)
        return self._native.analyze_batch(list(texts), language, entities, score_threshold, threads, self.allow_list)

    @staticmethod
    def _initialize_registry() -> Any:
        """A registry with the framework's predefined recognizers for "en" and "id"."""
        return _native.TextAnalyzer._initialize_registry()

    @staticmethod
    def _filter_entities_based_on_the_text_length(results: List[RecognizerResult]) -> List[RecognizerResult]:
        """The results whose span is 2 to ``MAX_PII_TEXT_LENGTH - 1`` characters long, in order."""
        return [r for r in results if 1 < r.end - r.start < MAX_PII_TEXT_LENGTH]


__all__ = ["TextAnalyzer", "DEFAULT_NLP_CONFIGURATION", "MAX_PII_TEXT_LENGTH"]
