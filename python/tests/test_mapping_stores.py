"""Shared mapping stores through the tesk-privacy command: many processes
anonymizing at once on one mapping file or one Redis name, and what happens
when a store breaks. Every document must come back exactly."""

import json
import os
import signal
import subprocess
import time

import pytest

NAMES = ["Budi Santoso", "Siti Rahayu", "Agus Wijaya", "Dewi Lestari", "Rina Marlina", "Andi Pratama",
         "Putri Handayani", "Joko Susilo", "Sri Wahyuni", "Eko Prasetyo", "Yusuf Hidayat", "Maya Sari"]
CITIES = ["Jakarta", "Bandung", "Surabaya", "Makassar", "Yogyakarta", "Medan", "Semarang", "Denpasar"]


def documents(count, offset):
    docs = []
    for i in range(count):
        k = offset + i
        name = NAMES[k % len(NAMES)]
        city = CITIES[(k // 3) % len(CITIES)]
        docs.append(f"Surat {k}: {name} tinggal di {city}, NIK 3171{(k % 89) + 10:02d}1205900{k % 1000:03d}, HP 0812{k:08d}.")
    return docs



def start(cli, args, docs):
    proc = subprocess.Popen([cli, *args, "--jsonl"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    proc.stdin.write("".join(json.dumps({"text": d}) + "\n" for d in docs))
    proc.stdin.close()
    return proc


def finish(proc, timeout=300):
    out = proc.stdout.read()
    err = proc.stderr.read()
    proc.wait(timeout=timeout)
    return proc.returncode, [json.loads(line)["text"] for line in out.splitlines()], err


def run_many(cli, mapping_args, processes=8, runs=3, per_run=6):
    """processes x runs concurrent anonymize runs, then every output deanonymized."""
    outputs = []
    for run in range(runs):
        procs = []
        for p in range(processes):
            docs = documents(per_run, (run * processes + p) * per_run)
            procs.append((docs, start(cli, ["anonymize", "--no-indonesian-formats", *mapping_args], docs)))
        for docs, proc in procs:
            code, out, err = finish(proc)
            assert code == 0, err
            outputs.append((docs, out))
    for docs, out in outputs:
        code, back, err = finish(start(cli, ["deanonymize", *mapping_args], out))
        assert code == 0, err
        assert back == docs
    return outputs


def test_concurrent_runs_on_one_mapping_file(cli, tmp_path):
    mapping = tmp_path / "shared.json"
    outputs = run_many(cli, ["--mapping", str(mapping)])
    stored = json.loads(mapping.read_text())
    placeholders = [p for inner in stored.values() for p in inner]
    assert len(placeholders) == len(set(placeholders))
    assert any("<PERSON_" in text for _, out in outputs for text in out)


def test_encrypted_mapping_file(cli, tmp_path):
    mapping = tmp_path / "secret.json"
    key = tmp_path / "key"
    key.write_text("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff\n")
    docs = documents(3, 0)
    code, out, err = finish(start(cli, ["anonymize", "--mapping", str(mapping), "--mapping-key-file", str(key)], docs))
    assert code == 0, err
    assert b"Budi" not in mapping.read_bytes()
    sealed = mapping.read_bytes()
    wrong = tmp_path / "wrong"
    wrong.write_text("ff" * 32)
    code, back, err = finish(start(cli, ["deanonymize", "--mapping", str(mapping), "--mapping-key-file", str(wrong)], out))
    assert code == 1 and back == [] and "wrong" in err and "ff" * 8 not in err
    assert mapping.read_bytes() == sealed
    tampered = bytearray(sealed)
    tampered[-20] ^= 1
    mapping.write_bytes(bytes(tampered))
    code, back, err = finish(start(cli, ["deanonymize", "--mapping", str(mapping), "--mapping-key-file", str(key)], out))
    assert code == 1 and back == [] and "changed" in err
    mapping.write_bytes(sealed)
    code, back, err = finish(start(cli, ["deanonymize", "--mapping", str(mapping), "--mapping-key-file", str(key)], out))
    assert code == 0 and back == docs


def test_unsafe_mapping_files_are_refused(cli, tmp_path):
    cases = {
        '{"PERSON": {"Budi": "Budi"}}': "itself",
        '{"PERSON": {"<PERSON_1>": ""}}': "empty",
        '{"PERSON": {"<PERSON_1>": "A", "<PERSON_1>": "B"}}': "twice",
        '{"PERSON": {"Andre": "A"}, "LOCATION": {"Andre": "B"}}': "both",
        '{"PERSON": {"<LOCATION_1>": "A"}}': "form",
        '{"PERSON": {"<PERSON_1>": "A"': "JSON",
    }
    for content, word in cases.items():
        mapping = tmp_path / "m.json"
        mapping.write_text(content)
        code, out, err = finish(start(cli, ["anonymize", "--mapping", str(mapping)], ["Budi Santoso"]))
        assert code == 1 and out == [] and word in err, (content, err)
        assert mapping.read_text() == content


def test_removed_entry_does_not_give_its_number_again(cli, tmp_path):
    mapping = tmp_path / "m.json"
    mapping.write_text('{"PERSON": {"<PERSON_2>": "Andi Wijaya"}}')
    code, out, err = finish(start(cli, ["anonymize", "--no-indonesian-formats", "--mapping", str(mapping)],
                                  ["Budi Santoso datang."]))
    assert code == 0, err
    assert out == ["<PERSON_3> datang."]
    code, back, err = finish(start(cli, ["deanonymize", "--mapping", str(mapping)], ["<PERSON_2> dan <PERSON_3>"]))
    assert back == ["Andi Wijaya dan Budi Santoso"]


def test_concurrent_runs_on_one_redis_name(cli, redis_server):
    _, port = redis_server
    run_many(cli, ["--mapping", f"redis://127.0.0.1:{port}/chats"])


def test_redis_down_fails_closed(cli, redis_server):
    proc, port = redis_server
    location = f"redis://127.0.0.1:{port}/down"
    runner = subprocess.Popen([cli, "anonymize", "--no-indonesian-formats", "--mapping", location, "--jsonl"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    docs = documents(400, 0)
    runner.stdin.write("".join(json.dumps({"text": d}) + "\n" for d in docs[:200]))
    runner.stdin.flush()
    time.sleep(1.0)  # the first documents are committed to the server
    proc.send_signal(signal.SIGKILL)
    proc.wait(timeout=10)
    runner.stdin.write("".join(json.dumps({"text": d}) + "\n" for d in docs[200:]))
    runner.stdin.close()
    code, out, err = finish(runner)
    assert code == 1 and out == [] and "Redis store redis://127.0.0.1" in err
    code, out, err = finish(start(cli, ["anonymize", "--mapping", location], ["Budi Santoso"]))
    assert code == 1 and out == [] and "cannot connect" in err


def test_python_store_api(tmp_path):
    from tesk_privacy.pii_detector.utils.mapping_store import (
        MappingStoreError,
        open_mapping_store,
        parse_mapping_key,
    )

    key = parse_mapping_key("ab" * 32)
    store = open_mapping_store(str(tmp_path / "m.json"), encryption_key=key, lock_timeout=0.05)
    assert store.load() == {}
    assert store.commit({"PERSON": {"<PERSON_1>": "Budi"}})
    other = open_mapping_store(str(tmp_path / "m.json"), encryption_key=key, lock_timeout=0.05)
    with pytest.raises(MappingStoreError):
        other.load()  # the first store holds the lock
    del store
    assert other.load() == {"PERSON": {"<PERSON_1>": "Budi"}}
    with pytest.raises(ValueError):
        parse_mapping_key("xyz")


def test_killed_runs_leave_a_whole_mapping_file(cli, tmp_path):
    """kill -9 at any moment of a run leaves the old file or the new one,
    and the next run removes what the killed one left behind."""
    mapping = tmp_path / "m.json"
    mapping.write_text(json.dumps({"PERSON": {f"<PERSON_{i}>": f"Nama {i}" for i in range(1, 30001)}}))
    for attempt in range(8):
        before = json.loads(mapping.read_text())
        proc = start(cli, ["anonymize", "--no-indonesian-formats", "--mapping", str(mapping)],
                     [f"{NAMES[attempt]} datang."])
        time.sleep(0.05 * attempt)
        proc.send_signal(signal.SIGKILL)
        proc.wait(timeout=60)
        after = json.loads(mapping.read_text())  # never torn
        assert after == before or len(after["PERSON"]) == len(before["PERSON"]) + 1
    code, _, err = finish(start(cli, ["anonymize", "--mapping", str(mapping)], ["Maya Sari"]))
    assert code == 0, err
    assert not list(tmp_path.glob("m.json.tmp-*"))


def test_batches_of_two_writers_at_once_keep_one_placeholder_per_original(redis_server):
    """Two SharedMappings on one Redis name committing batches at the same
    time, on two threads: a writer that finds the other came first replaces
    its whole batch again on the newer entries."""
    from concurrent.futures import ThreadPoolExecutor

    from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer
    from tesk_privacy.pii_detector.utils.mapping_store import SharedMapping, open_mapping_store

    _, port = redis_server
    analyzer = TextAnalyzer(indonesian_formats=True)
    url = f"redis://127.0.0.1:{port}/batches"
    writers = [SharedMapping(TextAnonymizer(analyzer), open_mapping_store(url)) for _ in range(2)]
    docs = documents(400, 0)  # the same people and cities recur in both halves

    def run(w):
        half = docs[w::2]
        return [text for at in range(0, len(half), 10) for text in writers[w].anonymize_batch(half[at:at + 10])]

    with ThreadPoolExecutor(2) as pool:
        halves = list(pool.map(run, range(2)))
    out = [halves[n % 2][n // 2] for n in range(len(docs))]
    mapping = open_mapping_store(url).load()
    for placeholders in mapping.values():
        assert len(set(placeholders.values())) == len(placeholders)  # no original under two placeholders
    reader = SharedMapping(TextAnonymizer(analyzer), open_mapping_store(url))
    assert [reader.deanonymize(text) for text in out] == docs
    assert not any(name in text for text in out for name in NAMES)


def redis_command(port, *args):
    """One command in Redis's own protocol; the first line of the reply."""
    import socket

    request = f"*{len(args)}\r\n" + "".join(f"${len(a.encode())}\r\n{a}\r\n" for a in args)
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(request.encode())
        return s.recv(65536).split(b"\r\n")[0].decode()


def test_writers_at_once_reserve_numbers_and_one_writer_numbers_without_gaps(redis_server):
    """Two writers with different originals, committing batches on two
    threads at once, never clash (each reserved its own numbers), and a
    writer alone numbers without gaps: what it reserved and left unused
    goes back. A log written before the store kept its indexes is indexed
    on first use, its numbers and originals respected."""
    from concurrent.futures import ThreadPoolExecutor

    from tesk_privacy.pii_detector import TextAnalyzer, TextAnonymizer
    from tesk_privacy.pii_detector.utils.mapping_store import SharedMapping, open_mapping_store

    _, port = redis_server
    analyzer = TextAnalyzer(indonesian_formats=True)
    assert redis_command(port, "RPUSH", "tesk:{older}:log", '["PHONE_NUMBER","<PHONE_NUMBER_7>","0812 0000 0001"]') == ":1"
    assert redis_command(port, "HSET", "tesk:{older}:keys", "<PHONE_NUMBER_7>", "0812 0000 0001") == ":1"
    alone = SharedMapping(TextAnonymizer(analyzer), open_mapping_store(f"redis://127.0.0.1:{port}/older"))
    out = [alone.anonymize_batch([f"HP 0812 0000 0001 atau 0813 {k:04d} {k:04d}, HP 0812 0000 0001"])[0] for k in range(1, 6)]
    assert out[0] == "HP <PHONE_NUMBER_7> atau <PHONE_NUMBER_8>, HP <PHONE_NUMBER_7>"
    assert [o.split()[3].rstrip(",") for o in out[1:]] == [f"<PHONE_NUMBER_{n}>" for n in range(9, 13)]

    url = f"redis://127.0.0.1:{port}/reserved"
    writers = [SharedMapping(TextAnonymizer(analyzer), open_mapping_store(url)) for _ in range(2)]
    docs = [f"Hubungi 0812{k:08d} atau surel pengguna{k}@contoh.co.id" for k in range(600)]

    def run(w):
        half = docs[w::2]
        return [text for at in range(0, len(half), 20) for text in writers[w].anonymize_batch(half[at:at + 20])]

    with ThreadPoolExecutor(2) as pool:
        halves = list(pool.map(run, range(2)))
    assert [w.refused_commits for w in writers] == [0, 0]
    mapping = open_mapping_store(url).load()
    assert sorted(len(inner) for inner in mapping.values()) == [600, 600]
    out = [halves[n % 2][n // 2] for n in range(len(docs))]
    reader = SharedMapping(TextAnonymizer(analyzer), open_mapping_store(url))
    assert [reader.deanonymize(text) for text in out] == docs


def test_redis_commits_of_thousands_take_all_or_nothing(redis_server):
    """A commit is checked and written in chunks: a clash in a late chunk
    still refuses the whole commit, and a large one arrives whole and in
    order, readable by a store opened later."""
    from tesk_privacy.pii_detector.utils.mapping_store import open_mapping_store

    _, port = redis_server
    url = f"redis://127.0.0.1:{port}/chunks"
    first = open_mapping_store(url)
    assert first.load() == {}
    assert first.commit({"PERSON": {"<PERSON_2600>": "Orang 2600"}})
    people = {f"<PERSON_{n}>": f"Orang {n}" for n in range(1, 2601)}
    second = open_mapping_store(url)
    second.load()
    assert not second.commit({"PERSON": people})  # the clash is the 2,600th entry
    assert open_mapping_store(url).load() == {"PERSON": {"<PERSON_2600>": "Orang 2600"}}
    del people["<PERSON_2600>"]
    people["<PERSON_2601>"] = 'Orang "2601" \\ é'
    assert second.commit({"PERSON": people, "EMAIL_ADDRESS": {"<EMAIL_ADDRESS_1>": "a@b.id"}})
    loaded = open_mapping_store(url).load()
    assert list(loaded["PERSON"].items()) == [("<PERSON_2600>", "Orang 2600")] + list(people.items())
    assert loaded["EMAIL_ADDRESS"] == {"<EMAIL_ADDRESS_1>": "a@b.id"}
    # A clash on the original alone refuses too.
    assert not first.commit({"PERSON": {"<PERSON_9000>": "Orang 17"}})
