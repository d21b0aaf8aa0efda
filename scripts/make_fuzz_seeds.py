#!/usr/bin/env python3
"""Writes the seed inputs of each fuzz target into fuzz/corpus/<target>/.

The seeds are valid inputs made by the project's own writers: collections and
libraries saved by orvik-cli, the simulated MV300's images, the configuration
descriptor and raw record the simulated instrument sends, and coupon profiles
as the program's --simulate takes them. The fuzzers start from these (and from
what earlier campaigns kept there) instead of from nothing.

    scripts/make_fuzz_seeds.py [BUILD-DIR]      (default: build)
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Every seed stays under the fuzzers' -max_len; longer inputs would be cut.
MAX_SEED = 65536


def run(build, folder, *arguments):
    cli = os.path.join(build, "src", "cli", "orvik-cli")
    subprocess.run([cli, *arguments], cwd=folder, check=True, stdout=subprocess.DEVNULL)


def write_seed(target, name, data):
    folder = os.path.join(TOP, "fuzz", "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as out:
        out.write(data[:MAX_SEED])


def read(path):
    with open(path, "rb") as f:
        return f.read()


def configuration_descriptor(io_log):
    """The configuration descriptor the simulated instrument returned: the
    reply to GET_DESCRIPTOR(configuration) with its whole length."""
    for line in read(io_log).decode().splitlines():
        fields = dict(part.split("=", 1) for part in line.split()[1:])
        request = bytes.fromhex(fields["in"])
        # The setup packet opens the 38-byte header: 80 06, value 0x0200.
        if request[:4] == b"\x80\x06\x00\x02" and struct.unpack_from("<H", request, 6)[0] > 9:
            return bytes.fromhex(fields["out"])[38:]
    raise SystemExit("make_fuzz_seeds: no configuration descriptor in " + io_log)


def process_record_input(raw_text, differential):
    """flags, the built-in calibration, the count, no stored kernel, samples."""
    eoc, divisor, constant = (3280, 23526.0, 108.2) if differential else (3075, 12277.0, 51.87)
    samples = [int(line) for line in raw_text.split()][:8192]
    head = struct.pack("<BiddhH", 1 if differential else 0, eoc, divisor, constant, 9000, 0)
    return head + struct.pack("<%dh" % len(samples), *samples)


# Command lines as the README and the manual pages show them; the first word
# doubles as a --usb-id or trigger-request text.
COMMAND_LINES = [
    ("run-script", ["--simulate", "--criteria", "criteria.dat", "--script", "Lot impedance",
                    "--coupons", "3", "--serials", "A1,A2,A3", "--coupon", "50@0-4,60@4-10",
                    "--out", "batch.tdr"]),
    ("calibrate", ["--simulate", "--mode", "differential", "--characterize", "--reset",
                   "--airline=100@4", "--airline", "85@4", "--verify", "100@4",
                   "--operator", "J. Smith", "--save"]),
    ("usb-ids", ["04B4:8613,2F4E:0300"]),
    ("trigger-request", ["C0:01:0000:0000"]),
]

# Trigger-port replies: per poll a control byte (bit 7: the request fails;
# low four bits: how many reply bytes follow), then the reply bytes.
TRIGGER_REPLIES = [
    # two listed ports, then idle, input 1 pressed twice, input 2, both at once
    ("presses", [2, 0, 40, 7, 1, 0xFF, 1, 0xFE, 1, 0xFF, 1, 0xFE, 1, 0xFD, 1, 0xFC, 1, 0xFF]),
    ("short-reply-then-failure", [0, 0, 0, 0, 0x80, 31]),
]


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(TOP, "build"))
    samples = os.path.join(TOP, "samples")
    with tempfile.TemporaryDirectory() as work:
        shutil.copy(os.path.join(samples, "criteria.dat"), work)
        run(build, work, "run-script", "--simulate", "--criteria", "criteria.dat",
            "--script", "Lot impedance", "--coupons", "1", "--out", "batch.tdr")
        run(build, work, "resave", os.path.join(samples, "sample.tdr"), "resaved.tdr")
        run(build, work, "measure", "--simulate", "--io-log", "io.log")
        subprocess.run([os.path.join(build, "src", "simulator", "orvik-sim-images"), work],
                       check=True, stdout=subprocess.DEVNULL)

        write_seed("fuzz_tdr", "sample.tdr", read(os.path.join(work, "resaved.tdr")))
        write_seed("fuzz_tdr", "scripted-batch.tdr", read(os.path.join(work, "batch.tdr")))
        write_seed("fuzz_criteria", "sample.dat", read(os.path.join(samples, "criteria.dat")))
        write_seed("fuzz_criteria", "after-run-script.dat", read(os.path.join(work, "criteria.dat")))
        write_seed("fuzz_program_image", "controller.hex", read(os.path.join(work, "TDR_XC.hex")))
        write_seed("fuzz_program_image", "fpga.hex", read(os.path.join(work, "TdrSpartan.hex")))
        write_seed("fuzz_config_descriptor", "simulated-mv300",
                   configuration_descriptor(os.path.join(work, "io.log")))
        raw = read(os.path.join(samples, "raw-single-50-ohm.txt")).decode()
        write_seed("fuzz_process_record", "single-50-ohm", process_record_input(raw, False))
        write_seed("fuzz_process_record", "differential", process_record_input(raw, True))
        write_seed("fuzz_report", "sample.tdr", read(os.path.join(work, "resaved.tdr")))
        write_seed("fuzz_report", "scripted-batch.tdr", read(os.path.join(work, "batch.tdr")))
        for name, line in COMMAND_LINES:
            write_seed("fuzz_cli_options", name, b"\0".join(word.encode() for word in line))
        for name, replies in TRIGGER_REPLIES:
            write_seed("fuzz_trigger_reply", name, bytes(replies))
        for name, profile in [("uniform", "50"), ("step", "50@0-4,60@4-6,50@6-10"),
                              ("short-sections", "45@0-0.5,55@0.5-1,50@1-2")]:
            write_seed("fuzz_coupon_profile", name, profile.encode())


if __name__ == "__main__":
    main()
