"""The recognition and anonymization framework the PII detector is built on.

Subclass :class:`EntityRecognizer` (implement ``analyze``),
:class:`RemoteRecognizer` (the same, for recognizers that ask a service) or
:class:`PatternRecognizer` (give patterns; optionally override
``validate_result``, ``invalidate_result`` or ``analyze``) and pass instances
to ``TextAnalyzer(additional_recognizers=[...])`` or to
``RecognizerRegistry.add_recognizer``: the analysis calls your methods.

    class EmployeeBadgeRecognizer(PatternRecognizer):
        def __init__(self, supported_language="id"):
            super().__init__(
                supported_entity="EMPLOYEE_BADGE",
                patterns=[Pattern("badge", r"\\bHB-\\d{5}\\b", 0.6)],
                supported_language=supported_language,
                context=["badge", "lencana"],
            )

        def validate_result(self, pattern_text):
            # HB-00000 is a placeholder badge: reject it; keep the score otherwise.
            return False if pattern_text == "HB-00000" else None

A Python callable can replace detected text:
``OperatorConfig("custom", {"lambda": lambda original: "***"})``.
``OperatorConfig("encrypt", {"key": key})`` replaces it by its AES
encryption under a key of 16, 24 or 32 bytes, which :func:`decrypt` reverses.

The analysis calls Python methods from the threads that analyse, with the
GIL held for each call; everything else runs with the GIL released.
"""

from typing import Any, Iterable, List, Optional, Union

from tesk_privacy._core import _native
from tesk_privacy._records import (
    _entity_type,
    AnalysisExplanation,
    ConflictResolutionStrategy,
    EngineResult,
    OperatorResult,
    RecognizerResult,
)

Pattern = _native.Pattern
NlpArtifacts = _native.NlpArtifacts
NlpEngine = _native.NlpEngine
NlpEngineProvider = _native.NlpEngineProvider
RecognizerRegistry = _native.RecognizerRegistry
ContextAwareEnhancer = _native.ContextAwareEnhancer
AnalyzerEngine = _native.AnalyzerEngine
OperatorConfig = _native.OperatorConfig
AnonymizerEngine = _native.AnonymizerEngine
Faker = _native.Faker
BaseProvider = _native.BaseProvider
EmailRecognizer = _native.predefined.EmailRecognizer
PhoneRecognizer = _native.predefined.PhoneRecognizer
CreditCardRecognizer = _native.predefined.CreditCardRecognizer

def decrypt(text: str, key: Union[str, bytes]) -> str:
    """The original of a value the "encrypt" operator wrote under ``key``.

    The value is base64 of an IV and the AES-CBC ciphertext; ``key`` is the
    operator's key (16, 24 or 32 bytes; a str counts its UTF-8 bytes). Raises
    ValueError for a key of another length, text that is not base64, and a
    value that does not decrypt under this key (wrong key, changed text).
    """
    return _native.decrypt(text, key)


def results_to_json(text: str, results: List[RecognizerResult], explain: bool = False) -> str:
    """``{"results":[...]}`` for the results of analysing ``text``: each with
    "entity_type", "start", "end", "score" and "text" (plus "recognizer" and
    the explanation's fields when ``explain``), as the command-line tool
    writes them."""
    return _native.results_to_json(text, results, explain)


def results_from_json(json: str) -> List[RecognizerResult]:
    """The results of a ``{"results":[...]}`` document or a bare list of
    result objects. Raises ValueError for anything else."""
    return _native.results_from_json(json)


#: re.DOTALL | re.MULTILINE | re.IGNORECASE, the flags of every analysis by default.
DEFAULT_REGEX_FLAGS: int = _native.DOTALL_MULTILINE_IGNORECASE


def _check_analyze_defined(recognizer: object, base: type) -> None:
    if type(recognizer).analyze is base.analyze:  # type: ignore[attr-defined]
        raise TypeError(f"Can't instantiate {type(recognizer).__name__} without an analyze() method")


def _init_native_recognizer(
    self: Any,
    base: Any,
    supported_entities: Iterable[str],
    name: Optional[str],
    supported_language: str,
    version: str,
    context: Optional[Iterable[str]],
) -> None:
    """Initializes the native part of a recognizer written in Python, then calls its ``load``."""
    _check_analyze_defined(self, base)
    base.__init__(
        self,
        [_entity_type(e) for e in supported_entities],
        name or type(self).__name__,
        supported_language,
        version,
        list(context or []),
    )
    self.load()


class EntityRecognizer(_native.EntityRecognizer):
    """Base of recognizers written in Python.

    Subclasses implement ``analyze(text, entities, nlp_artifacts=None)``
    returning a list of :class:`RecognizerResult`; ``entities`` lists the
    requested entity types (empty: all supported ones) and ``nlp_artifacts``
    is an :class:`NlpArtifacts` (tokens, lemmas, keywords) or None. The
    constructor calls :meth:`load` last.
    """

    def __init__(
        self,
        supported_entities: Iterable[str],
        name: Optional[str] = None,
        supported_language: str = "en",
        version: str = "0.0.1",
        context: Optional[Iterable[str]] = None,
    ) -> None:
        _init_native_recognizer(self, _native.EntityRecognizer, supported_entities, name, supported_language, version, context)

    def load(self) -> None:
        """Loads what the recognizer needs (models, tables); nothing by default."""


class RemoteRecognizer(_native.RemoteRecognizer):
    """Base of Python recognizers that send the text to a service; implement
    ``analyze(text, entities, nlp_artifacts=None)`` as for
    :class:`EntityRecognizer`."""

    def __init__(
        self,
        supported_entities: Iterable[str],
        name: Optional[str] = None,
        supported_language: str = "en",
        version: str = "0.0.1",
        context: Optional[Iterable[str]] = None,
    ) -> None:
        _init_native_recognizer(self, _native.RemoteRecognizer, supported_entities, name, supported_language, version, context)

    def load(self) -> None:
        """Loads what the recognizer needs; nothing by default."""


class PatternRecognizer(_native.PatternRecognizer):
    """Reports every match of its patterns, and every whole-word occurrence of
    its deny-list terms (score 1.0), as ``supported_entity``.

    Patterns are written in Python's ``re`` dialect and matched in C++ under
    the analysis' ``regex_flags``. A subclass may override
    ``validate_result(pattern_text)`` (True confirms a candidate with score
    1.0, False rejects it, None keeps its score), ``invalidate_result``
    (True rejects) or ``analyze(text, entities, nlp_artifacts=None,
    regex_flags=None)``; ``super().analyze(...)`` runs the pattern matching.
    """

    def __init__(
        self,
        supported_entity: str,
        patterns: Optional[Iterable["_native.Pattern"]] = None,
        supported_language: str = "en",
        context: Optional[Iterable[str]] = None,
        deny_list: Optional[Iterable[str]] = None,
        name: Optional[str] = None,
        version: str = "0.0.1",
    ) -> None:
        if name is None and type(self) is not PatternRecognizer:
            name = type(self).__name__
        _native.PatternRecognizer.__init__(
            self,
            _entity_type(supported_entity),
            list(patterns or []),
            supported_language,
            list(context or []),
            list(deny_list or []),
            name or "",
            version,
        )
        self.load()

    def load(self) -> None:
        """Loads what the recognizer needs; nothing by default."""


__all__: List[str] = [
    "AnalysisExplanation",
    "RecognizerResult",
    "Pattern",
    "NlpArtifacts",
    "NlpEngine",
    "NlpEngineProvider",
    "EntityRecognizer",
    "RemoteRecognizer",
    "PatternRecognizer",
    "EmailRecognizer",
    "PhoneRecognizer",
    "CreditCardRecognizer",
    "RecognizerRegistry",
    "ContextAwareEnhancer",
    "AnalyzerEngine",
    "OperatorConfig",
    "ConflictResolutionStrategy",
    "AnonymizerEngine",
    "decrypt",
    "EngineResult",
    "OperatorResult",
    "Faker",
    "BaseProvider",
    "DEFAULT_REGEX_FLAGS",
    "results_to_json",
    "results_from_json",
]
