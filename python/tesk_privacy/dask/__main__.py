"""python3 -m tesk_privacy.dask {analyze,anonymize,deanonymize} --scheduler ADDRESS|local:N
   [--mapping redis://HOST:PORT/NAME] [--fields text,...] [--csv] IN OUT

IN and OUT are JSON-lines files (one record, a JSON object, a line) or, with
--csv, CSV files with a header; or folders of them, OUT then mirroring IN.
Records keep their other fields and their order. OUT appears whole once the
run succeeded: a run that fails leaves no output file behind."""

import argparse
import json
import os
import sys
import tempfile
from pathlib import Path
from typing import List, Tuple

from tesk_privacy import dask as tdask


def _pairs(source: Path, target: Path, csv: bool) -> List[Tuple[Path, Path]]:
    if not source.is_dir():
        return [(source, target)]
    suffixes = (".csv",) if csv else (".jsonl", ".json", ".ndjson")
    files = sorted(p for p in source.rglob("*") if p.is_file() and p.suffix in suffixes
                   and not any(part.startswith(".") for part in p.relative_to(source).parts))
    return [(p, target / p.relative_to(source)) for p in files]


def _parse(lines):
    out = []
    for number, line in lines:
        if not line.strip():
            out.append({})
            continue
        record = json.loads(line)
        if not isinstance(record, dict):
            raise ValueError(f"line {number}: a record must be a JSON object")
        out.append(record)
    return out


def _json_lines(records) -> List[str]:
    """A partition as the text of its output lines, made on the worker so
    that the client only writes it; a blank input line stays blank."""
    return ["".join(json.dumps(record, ensure_ascii=False) + "\n" if record else "\n" for record in records)]


def _blocksize(client, args, source: Path):
    """--blocksize, or by default about eight partitions per worker thread,
    each of 64 KiB to 1 MiB: enough that the last partitions to finish leave
    no worker idle for long, and few enough that each is worth a task."""
    if args.blocksize != "auto":
        return args.blocksize
    threads = sum(w.get("nthreads", 1) for w in client.scheduler_info().get("workers", {}).values()) or 1
    return min(max(source.stat().st_size // (8 * threads), 64 << 10), 1 << 20)


def _run_one(client, args, source: Path, target: Path) -> int:
    import dask.bag as db

    fields = [f for f in args.fields.split(",") if f]
    blocksize = _blocksize(client, args, source)
    if args.csv:
        import dask.dataframe as dd  # pandas: only for CSV

        collection = dd.read_csv(str(source), dtype=str, keep_default_na=False, blocksize=blocksize)
    else:
        lines = db.read_text(str(source), blocksize=blocksize, linedelimiter="\n")
        collection = lines.map_partitions(lambda part: _parse((None, line) for line in part))
    if args.command == "analyze":
        done = tdask.analyze(collection, fields, args.language)
    elif args.command == "anonymize":
        done = tdask.anonymize(collection, args.mapping, fields, args.language, args.keep_going)
    else:
        done = tdask.deanonymize(collection, args.mapping, fields, args.tolerant)
    if not args.csv:
        done = done.map_partitions(_json_lines)
    parts = done.to_delayed()
    futures = client.compute(parts, retries=args.retries)
    target.parent.mkdir(parents=True, exist_ok=True)
    handle, temporary = tempfile.mkstemp(prefix="." + target.name + ".", dir=str(target.parent))
    count = 0
    try:
        with os.fdopen(handle, "w", encoding="utf-8", newline="") as out:
            for index, future in enumerate(futures):
                part = future.result()
                if args.csv:
                    part.to_csv(out, header=index == 0, index=False)
                    count += len(part)
                else:
                    out.write(part[0])
                    count += part[0].count("\n")
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise
    return count


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m tesk_privacy.dask", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["analyze", "anonymize", "deanonymize"])
    parser.add_argument("--scheduler", required=True, help="a scheduler address, or local:N for N local workers")
    parser.add_argument("--mapping", help="the shared mapping: redis://HOST:PORT/NAME (anonymize, deanonymize)")
    parser.add_argument("--fields", default="text", help="comma-separated text fields (default: text)")
    parser.add_argument("--csv", action="store_true", help="IN and OUT are CSV files with a header")
    parser.add_argument("--language", default="id", choices=["id", "en"])
    parser.add_argument("--keep-going", action="store_true",
                        help="go on without a recognizer that fails instead of failing the run")
    parser.add_argument("--tolerant", action="store_true",
                        help="deanonymize: also restore placeholders as models rewrite them")
    parser.add_argument("--retries", type=int, default=3, help="times a failed partition is tried again")
    parser.add_argument("--blocksize", default="auto",
                        help="bytes of input per partition, such as 1MiB (default auto: about eight partitions "
                        "per worker thread, each of 64KiB to 1MiB)")
    parser.add_argument("input", type=Path)
    parser.add_argument("output", type=Path)
    args = parser.parse_args(argv)
    if args.command != "analyze" and not (args.mapping or "").startswith(("redis://", "redis+unix://")):
        parser.error(f"{args.command} needs --mapping redis://HOST:PORT/NAME")
    if not args.input.exists():
        parser.error(f"{args.input} does not exist")

    from dask.distributed import Client, LocalCluster

    cluster = None
    if args.scheduler.startswith("local:"):
        import dask

        workers = int(args.scheduler.split(":", 1)[1])
        if "DASK_DISTRIBUTED__WORKER__MULTIPROCESSING_METHOD" not in os.environ:
            # Local workers fork from this process, which has imported Dask
            # and this package already, rather than start a new interpreter
            # each: about half a second of start-up per worker on two cores.
            dask.config.set({"distributed.worker.multiprocessing-method": "fork"})
        if "DASK_DISTRIBUTED__WORKER__PROFILE__ENABLED" not in os.environ:
            # A worker samples the stacks of its running tasks a hundred
            # times a second for the dashboard's profile, which a local run
            # never shows: some 0.15 s of CPU a worker over 50,000 records,
            # taken from workers that fill the machine's cores.
            dask.config.set({"distributed.worker.profile.enabled": False})
        if not args.csv:
            # Each worker reports the versions of its packages when it joins,
            # and the scheduler its own; listing pandas imports it, about
            # 0.3 s in the worker and again in the scheduler before the first
            # task can run. JSON lines never use pandas, and every process
            # of a local cluster forks from this one, so all of them report
            # the same list.
            from distributed import versions

            versions.optional_packages = [p for p in versions.optional_packages if p[0] != "pandas"]
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)
        client = Client(cluster)
    else:
        client = Client(args.scheduler)
    try:
        total = 0
        for source, target in _pairs(args.input, args.output, args.csv):
            total += _run_one(client, args, source, target)
        print(f"tesk_privacy.dask: {args.command}: {total} records", file=sys.stderr)
        return 0
    except Exception as error:  # noqa: BLE001 - reported as the command's error
        print(f"tesk_privacy.dask: error: {error}", file=sys.stderr)
        return 1
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


if __name__ == "__main__":
    sys.exit(main())
