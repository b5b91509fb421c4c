"""Times the Python front end against the in-memory feed (libPCQW32.so found first through
LD_LIBRARY_PATH), for the comparison with the module loaded by the stand-in host:

    python3 bench/python_bench.py REPETITIONS

For each case it prints "CASE ROWS MEDIAN_US MIN_US", wall time per call: the median and the
least of REPETITIONS batches, each batch as many calls as fill about 0.2 s. The cases: a history
of 500,000 rows and quotes of 10,000 securities, each as the frame a user gets and as the
NumPy arrays (output="arrays"). Every call is checked for its rows.
"""
import sys
import time

import quorvex

# The in-memory feed serves what the database number names: the request's code.
QUOTES_DATABASE = 2
HISTORY_DATABASE = 3
SYMBOLS = [f"S{i:06d}" for i in range(10000)]


def history_frame():
    return len(quorvex.history("HISTSEC", qualifier="US", database=HISTORY_DATABASE))


def history_arrays():
    arrays = quorvex.history("HISTSEC", qualifier="US", database=HISTORY_DATABASE,
                             output="arrays")
    return len(arrays["Price"])


def quotes_frame():
    return len(quorvex.quotes(SYMBOLS, qualifier="US", database=QUOTES_DATABASE))


def quotes_arrays():
    arrays = quorvex.quotes(SYMBOLS, qualifier="US", database=QUOTES_DATABASE, output="arrays")
    return len(arrays["LastPrice"])


CASES = [("history.frame", history_frame, 500000), ("history.arrays", history_arrays, 500000),
         ("quotes.frame", quotes_frame, 10000), ("quotes.arrays", quotes_arrays, 10000)]


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 9
    for name, call, rows in CASES:
        for _ in range(3):
            got = call()
            if got != rows:
                sys.exit(f"{name}: {got} rows, {rows} expected")
        start = time.perf_counter()
        call()
        batch = max(1, int(0.2 / max(time.perf_counter() - start, 1e-7)))
        per_call = []
        for _ in range(repetitions):
            start = time.perf_counter()
            for _ in range(batch):
                call()
            per_call.append((time.perf_counter() - start) / batch)
        per_call.sort()
        print(f"{name} {rows} {per_call[len(per_call) // 2] * 1e6:.3f} {per_call[0] * 1e6:.3f}",
              flush=True)


if __name__ == "__main__":
    main()
