"""The script a user might write instead of using the library: python3-serial,
write a command, readline() the reply, parse its nine values. Run by bench_exchange.

usage: python_client.py DEVICE EXCHANGES   (prints the exchanges it completed)
"""
import sys

import serial


def main():
    device, exchanges = sys.argv[1], int(sys.argv[2])
    port = serial.Serial(device, 9600, timeout=5)
    done = 0
    for _ in range(exchanges):
        port.write(b"GCHTRI\n")
        line = port.readline()
        head, _, rest = line.rstrip(b"\n").partition(b" ")
        if head != b"HTGCRI":
            break
        values = [float(v) if b"." in v else int(v) for v in rest.split(b",")]
        if len(values) < 9:
            break
        done += 1
    port.close()
    print(done)


if __name__ == "__main__":
    main()
