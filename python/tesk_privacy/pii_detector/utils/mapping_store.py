"""Where a reversible mapping lives between runs, shared by the processes
that anonymize with it::

    store = open_mapping_store("mapping.json")                 # a file
    store = open_mapping_store("redis://127.0.0.1:6379/chats")  # a Redis name
    anonymizer = TextAnonymizer(analyzer, deanonymizer_mapping=DeanonymizerMapping(store.load()))
    ... anonymize, then record the entries it added:
    if not store.commit(added):
        ...  # another writer came first: refresh() (or load() again) and redo the work

A file store holds an exclusive lock on ``FILE.lock`` from ``load()`` until
the store object is released, re-reads the file under it, and replaces it
atomically; with ``encryption_key`` (32 bytes, see :func:`parse_mapping_key`)
the file is encrypted with AES-256-GCM. A Redis store appends entries to a
log on the server with one script that refuses them when another writer
took one of their placeholders or recorded one of their originals first, so
no placeholder is ever given to two originals nor an original two
placeholders. Failures raise
:class:`MappingStoreError` and leave the store in its last good state.
"""

from typing import List, Optional, Sequence

from tesk_privacy._core import _native

MappingStore = _native.MappingStore
MappingStoreError = _native.MappingStoreError


def open_mapping_store(
    location: str, encryption_key: Optional[bytes] = None, lock_timeout: float = 60.0, time_to_live: int = 0
) -> "MappingStore":
    """A Redis store for "redis://[:PASSWORD@]HOST:PORT/NAME" or
    "redis+unix:///PATH/NAME", a file store for any other ``location``.
    ``lock_timeout`` (seconds) bounds the wait for a file's lock;
    ``time_to_live`` (seconds, 0: none) is set on the Redis keys at each write."""
    return _native.open_mapping_store(location, encryption_key, lock_timeout, time_to_live)


def parse_mapping_key(text: str) -> bytes:
    """The 32-byte key written as 64 hexadecimal digits; ValueError otherwise."""
    return _native.parse_mapping_key(text)




class SharedMapping:
    """A :class:`TextAnonymizer` whose mapping is shared, while it works,
    with other processes through a store they write too (Redis)::

        store = open_mapping_store("redis://127.0.0.1:6379/chats")
        shared = SharedMapping(TextAnonymizer(analyzer), store)   # loads the store
        safe = shared.anonymize("Budi Santoso di Bandung")
        back = shared.deanonymize(safe)

    Before each text it takes the entries others added and reserves
    placeholder numbers of its own; it commits each text's new entries at
    once, and when another writer came first with one of its originals it
    replaces the text again on the newer entries, so one original never gets
    two placeholders. Detection runs with the GIL released.
    """

    def __init__(self, anonymizer: "TextAnonymizer", store: "MappingStore") -> None:  # type: ignore[name-defined]  # noqa: F821
        self.anonymizer = anonymizer
        self.store = store
        self._native = _native.SharedMapping(anonymizer._native, store)

    def anonymize(self, text: str, language: str = "id") -> str:
        return self._native.anonymize(text, language)

    def anonymize_batch(self, texts: Sequence[str], language: str = "id") -> List[str]:
        """The texts anonymized in order, as successive :meth:`anonymize`
        calls would, with one commit for all their new entries: when
        another writer came first, the batch is replaced again (detection is
        not repeated). Fewer round trips, and one redo for the batch."""
        return self._native.anonymize_batch(list(texts), language)

    def deanonymize(self, text: str, tolerant: bool = False) -> str:
        return self._native.deanonymize(text, tolerant)

    def refresh(self) -> None:
        """Takes the entries other writers added since the last call."""
        self._native.refresh()

    @property
    def refused_commits(self) -> int:
        """Commits refused because another writer came first (each one
        replaced its batch again)."""
        return self._native.refused_commits


__all__ = ["MappingStore", "MappingStoreError", "SharedMapping", "open_mapping_store", "parse_mapping_key"]
