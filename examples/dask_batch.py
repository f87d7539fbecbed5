#!/usr/bin/env python3
"""Scans a folder of pictures with one settings file on dask.distributed.

    dask_batch.py SETTINGS PICTURES_DIR OUTPUT_DIR [--scheduler ADDRESS] [--workers N]

Each picture gives one output file in OUTPUT_DIR, named and written exactly
as `plotrun-scan --settings SETTINGS -O OUTPUT_DIR` names and writes it: the
picture's file name with ".txt" in place of its extension. A picture that
cannot be scanned is listed with its message, and the others go on.

Without --scheduler the script starts a LocalCluster of N worker processes
(one thread each) on this machine. With --scheduler tcp://host:8786 it runs
unchanged on that Dask cluster; the workers must see the same folders (a
shared file system) and have plotrun installed.

The exit code is 0 when every picture was scanned, 1 when some could not be.
"""

import argparse
import os
import sys


def output_name(picture):
    """plotrun-scan -O's name for a picture's output: its last extension
    replaced by .txt; a picture named ".png" gives "png.txt"."""
    name = os.path.basename(picture)
    base = name.rsplit(".", 1)[0] if "." in name else name
    return (base or name.lstrip(".")) + ".txt"


def write_whole(path, data):
    """Writes a file whole or not at all, as plotrun-scan -O does: into a
    file of its own beside it, on the disk before it is renamed over it."""
    part = "%s.%d.part" % (path, os.getpid())
    try:
        with open(part, "wb") as f:
            f.write(data)
            f.flush()
            os.fdatasync(f.fileno())
        os.replace(part, path)
    except OSError:
        if os.path.exists(part):
            os.remove(part)
        raise


def scan_one(picture, settings, out_dir):
    """Scans one picture on a worker and writes its output text; None when
    done, else the message. The text is made by plotrun-scan's own report
    (header block, column names, delimiter and decimal separator of the
    settings), so that the file equals the scanner's byte for byte.
    `settings` is a dict: it travels to the workers with the task."""
    import plotrun

    try:
        text = plotrun.scan_text(picture, settings)
    except plotrun.ScanError as e:
        return e.message
    target = os.path.join(out_dir, output_name(picture))
    try:
        write_whole(target, text.encode("utf-8"))
    except OSError as e:
        return "cannot write \"%s\": %s" % (target, e.strerror or e)
    return None


def scan_some(pictures, settings, out_dir):
    """One task: a few pictures, so that the scheduler's cost per task is
    shared; [(picture, message)] for those that failed."""
    failed = []
    for picture in pictures:
        message = scan_one(picture, settings, out_dir)
        if message is not None:
            failed.append((picture, message))
    return failed


def pictures_in(folder):
    return sorted(os.path.join(folder, name) for name in os.listdir(folder)
                  if not name.startswith(".") and os.path.isfile(os.path.join(folder, name)))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("settings", help="a settings file (the window's Save Settings, or --save-settings)")
    parser.add_argument("pictures", help="the folder of pictures")
    parser.add_argument("output", help="the folder for the output files")
    parser.add_argument("--scheduler", help="the address of a running Dask scheduler; else a LocalCluster")
    parser.add_argument("--workers", type=int, default=os.cpu_count(), help="LocalCluster worker processes")
    args = parser.parse_args(argv)

    import plotrun
    from dask.distributed import Client, LocalCluster, as_completed

    try:
        # Read and judged once, here: a refused file stops the run at once.
        settings = plotrun.Settings(args.settings).to_dict()
    except plotrun.ScanError as e:
        print("dask_batch: %s" % e.message, file=sys.stderr)
        return 2
    os.makedirs(args.output, exist_ok=True)
    pictures = pictures_in(args.pictures)

    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        # About eight tasks a worker thread, of at most 50 pictures: the
        # workers stay busy to the end, and the scheduler is not the work.
        threads = max(1, sum(client.nthreads().values()))
        size = max(1, min(50, len(pictures) // (8 * threads)))
        shares = [pictures[i:i + size] for i in range(0, len(pictures), size)]
        futures = {client.submit(scan_some, share, settings, os.path.abspath(args.output), pure=False): share
                   for share in shares}
        failed = []
        for future in as_completed(futures):
            try:
                failed += future.result()
            except Exception as e:  # a worker lost, or plotrun missing on it
                failed += [(p, "%s: %s" % (type(e).__name__, e)) for p in futures[future]]
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    for picture, message in sorted(failed):
        print("%s: %s" % (picture, message.replace("\n", " ").strip()), file=sys.stderr)
    print("%d of %d pictures scanned" % (len(pictures) - len(failed), len(pictures)), file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
