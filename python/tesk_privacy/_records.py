"""Value records exchanged with the compiled core: detection results and
their explanations, the anonymizer engine's output, and the choice of
conflict resolution.

They are ordinary Python objects: mutable, compared by value, free to keep
or change. The compiled core converts them when they cross into C++ (for
instance the list a Python recognizer returns) and builds new ones for what
it returns.
"""

from enum import Enum
from typing import Any, Dict, List, Optional, Union

from tesk_privacy import _native

MetadataValue = Union[str, bool, int, float]


def _entity_type(value: Any) -> Any:
    # An enumeration member is stored as its value string.
    return value.value if isinstance(value, Enum) else value


class AnalysisExplanation:
    """How the score of one detection came about: the recognizer and pattern
    that produced it, its original score, and what context later added."""

    __slots__ = (
        "recognizer",
        "original_score",
        "score",
        "textual_explanation",
        "pattern_name",
        "pattern",
        "validation_result",
        "supportive_context_word",
        "score_context_improvement",
    )

    def __init__(
        self,
        recognizer: str,
        original_score: float,
        textual_explanation: Optional[str] = None,
        pattern: Optional[str] = None,
        pattern_name: Optional[str] = None,
        validation_result: Optional[bool] = None,
    ) -> None:
        self.recognizer = recognizer
        self.original_score = original_score
        self.score = original_score
        self.textual_explanation = textual_explanation
        self.pattern = pattern
        self.pattern_name = pattern_name
        self.validation_result = validation_result
        self.supportive_context_word = ""
        self.score_context_improvement = 0.0

    def set_improved_score(self, score: float) -> None:
        """Records a new score and how far it moved from the original one."""
        self.score = score
        self.score_context_improvement = score - self.original_score

    def set_supportive_context_word(self, word: str) -> None:
        """Records the context word that raised the score."""
        self.supportive_context_word = word

    def set_validation_result(self, validation_result: Optional[bool]) -> None:
        self.validation_result = validation_result

    def to_dict(self) -> Dict[str, Any]:
        return {name: getattr(self, name) for name in self.__slots__}

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, AnalysisExplanation):
            return NotImplemented
        return self.to_dict() == other.to_dict()

    __hash__ = None  # type: ignore[assignment]  # mutable

    def __repr__(self) -> str:
        return f"AnalysisExplanation({self.to_dict()!r})"


class RecognizerResult:
    """One detection: an entity type, a span ``[start, end)`` of code points
    in the analysed text, a score in 0..1, and optionally an explanation and
    metadata about the recognizer that produced it.

    Two results are equal when entity type, span and score are equal; the
    explanation and the metadata take no part.
    """

    #: Metadata key holding the id of the recognizer that produced a result.
    RECOGNIZER_IDENTIFIER_KEY: str = _native.RECOGNIZER_IDENTIFIER_KEY
    #: Metadata key holding the name of the recognizer that produced a result.
    RECOGNIZER_NAME_KEY: str = _native.RECOGNIZER_NAME_KEY
    #: Metadata key set to True when the recognizer already raised the score
    #: from context, so that the context enhancer leaves it alone.
    IS_SCORE_ENHANCED_BY_CONTEXT_KEY: str = _native.IS_SCORE_ENHANCED_BY_CONTEXT_KEY

    __slots__ = ("entity_type", "start", "end", "score", "analysis_explanation", "recognition_metadata")

    def __init__(
        self,
        entity_type: str,
        start: int,
        end: int,
        score: float,
        analysis_explanation: Optional[AnalysisExplanation] = None,
        recognition_metadata: Optional[Dict[str, MetadataValue]] = None,
    ) -> None:
        self.entity_type: str = _entity_type(entity_type)
        self.start = start
        self.end = end
        self.score = score
        self.analysis_explanation = analysis_explanation
        self.recognition_metadata = recognition_metadata

    def intersects(self, other: "RecognizerResult") -> int:
        """The number of characters both spans cover (0 when they do not meet)."""
        if self.end <= other.start or other.end <= self.start:
            return 0
        return min(self.end, other.end) - max(self.start, other.start)

    def contained_in(self, other: "RecognizerResult") -> bool:
        """Whether this span lies within ``other`` (equal spans included)."""
        return self.start >= other.start and self.end <= other.end

    def contains(self, other: "RecognizerResult") -> bool:
        return other.contained_in(self)

    def equal_indices(self, other: "RecognizerResult") -> bool:
        return self.start == other.start and self.end == other.end

    def to_dict(self) -> Dict[str, Any]:
        return {name: getattr(self, name) for name in self.__slots__}

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, RecognizerResult):
            return NotImplemented
        return (self.entity_type, self.start, self.end, self.score) == (
            other.entity_type,
            other.start,
            other.end,
            other.score,
        )

    def __hash__(self) -> int:
        return hash((self.entity_type, self.start, self.end, self.score))

    def __repr__(self) -> str:
        return f"type: {self.entity_type}, start: {self.start}, end: {self.end}, score: {self.score}"

    __str__ = __repr__


class OperatorResult:
    """One replacement made by the anonymizer engine: the span ``[start, end)``
    it occupies in the output text, the inserted text and the operator."""

    __slots__ = ("entity_type", "start", "end", "text", "operator")

    def __init__(self, entity_type: str, start: int, end: int, text: str, operator: str = "") -> None:
        self.entity_type = _entity_type(entity_type)
        self.start = start
        self.end = end
        self.text = text
        self.operator = operator

    def to_dict(self) -> Dict[str, Any]:
        return {name: getattr(self, name) for name in self.__slots__}

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, OperatorResult):
            return NotImplemented
        return self.to_dict() == other.to_dict()

    __hash__ = None  # type: ignore[assignment]  # mutable

    def __repr__(self) -> str:
        d = self.to_dict()
        return "{" + ", ".join(f"{k}: {v}" for k, v in d.items()) + "}"


class EngineResult:
    """The anonymizer engine's output: the anonymized text and one
    :class:`OperatorResult` per replaced span, in order of position."""

    __slots__ = ("text", "items")

    def __init__(self, text: str = "", items: Optional[List[OperatorResult]] = None) -> None:
        self.text = text
        self.items: List[OperatorResult] = list(items) if items is not None else []

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, EngineResult):
            return NotImplemented
        return self.text == other.text and self.items == other.items

    __hash__ = None  # type: ignore[assignment]  # mutable

    def __repr__(self) -> str:
        return f"EngineResult(text={self.text!r}, items={self.items!r})"


class ConflictResolutionStrategy(Enum):
    """How the anonymizer settles results whose spans overlap.

    MERGE_SIMILAR_OR_CONTAINED drops duplicates and spans contained in
    another span, and merges overlapping spans of one entity type;
    REMOVE_INTERSECTIONS also trims partially overlapping spans of different
    types so that none overlap.
    """

    MERGE_SIMILAR_OR_CONTAINED = "merge_similar_or_contained"
    REMOVE_INTERSECTIONS = "remove_intersections"


__all__ = [
    "AnalysisExplanation",
    "RecognizerResult",
    "OperatorResult",
    "EngineResult",
    "ConflictResolutionStrategy",
    "MetadataValue",
]
