#!/usr/bin/python3
"""Reads what quillorstat printed for printers with hostile names (written by
test_quillorstat into the folder given) with parsers that other projects wrote:
prometheus_client's text parser, Monitoring::Plugin::Performance and Python's json."""
import json
import re
import subprocess
import sys
import unittest

from prometheus_client.parser import text_string_to_metric_families

FOLDER = sys.argv.pop(1) if len(sys.argv) > 1 else "."


def read(name):
    with open(f"{FOLDER}/{name}", encoding="utf-8", newline="") as f:
        return f.read()


def visible(text):
    return text.replace("|", "\u00a6").replace("\r", "\u240d").replace("\n", "\u240a")


class Outputs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.names = json.loads(read("names.json"))  # the monitored printers, as installed

    def test_prometheus_reference_parser_reads_every_name_back(self):
        families = {f.name: f for f in text_string_to_metric_families(read("prometheus.txt"))}
        # Wine's EnumJobsW always fails: an unknown queue has no sample.
        self.assertEqual(families["quillor_queue_jobs"].samples, [])
        for family in ["quillor_printer_info", "quillor_up", "quillor_ink_level_ratio", "quillor_uv_lamp_ratio",
                       "quillor_printer_error"]:
            with self.subTest(family=family):
                self.assertIn(family, families)
                printers = sorted(s.labels["printer"] for s in families[family].samples)
                self.assertEqual(printers, sorted(self.names))
        for sample in families["quillor_ink_level_ratio"].samples:
            self.assertEqual(sample.value, 0.72)
        for sample in families["quillor_printer_info"].samples:
            self.assertEqual(set(sample.labels), {"printer", "port", "driver", "driver_version"})
        for sample in families["quillor_printer_error"].samples:
            self.assertEqual((sample.labels["code"], sample.value), ("", 0))

    def test_plugin_perfdata_parser_reads_every_label_back(self):
        lines = read("check.txt").split("\n")
        self.assertEqual(lines.pop(), "")  # ends with a line feed
        self.assertNotIn("\r", "".join(lines))
        # The plugin form for several printers: a summary line, then one per printer.
        self.assertEqual(len(lines), 1 + len(self.names), lines)
        self.assertEqual(lines[0].count("|"), 1, lines[0])
        self.assertTrue(all("|" not in line for line in lines[1:]), lines)
        status, perf = lines[0].split("|")
        self.assertTrue(status.startswith("QUILLOR OK - "), status)
        script = ("use Monitoring::Plugin::Performance; binmode STDOUT, ':utf8';"
                  "print $_->label, \"\\n\" for Monitoring::Plugin::Performance->parse_perfstring($ARGV[0]);")
        parsed = subprocess.run(["perl", "-CA", "-e", script, perf], capture_output=True, text=True,
                                encoding="utf-8", check=True).stdout.split("\n")[:-1]
        expected = [re.sub("['=]", "_", visible(n)) + " " + what for n in self.names for what in ["ink", "uv"]]
        self.assertEqual(sorted(parsed), sorted(expected))
        for name in self.names:
            self.assertTrue(any(line.startswith(visible(name) + ": OK - ") for line in lines[1:]), name)

    def test_checkmk_local_check_has_one_service_line_per_printer(self):
        lines = read("checkmk.txt").split("\n")
        self.assertEqual(lines.pop(), "")
        self.assertEqual(len(lines), len(self.names))
        pattern = re.compile(r'^([0-3P]) "([^"]+)" (-|[A-Za-z0-9_]+=[^ |]+(\|[A-Za-z0-9_]+=[^ |]+)*) (.+)$')
        services = []
        for line in lines:
            match = pattern.match(line)
            self.assertIsNotNone(match, line)
            self.assertEqual(match.group(1), "0", line)
            services.append(match.group(2))
        self.assertEqual(sorted(services), sorted(visible("Printer " + n).replace('"', "'") for n in self.names))

    def test_json_names_round_trip_and_state_is_judged(self):
        doc = json.loads(read("json.txt"))
        self.assertEqual(doc["schema"], 2)
        self.assertRegex(doc["checked_at"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertEqual(sorted(p["name"] for p in doc["printers"]), sorted(self.names))
        self.assertEqual({(p["state"], p["reason"], p["ink_percent"]) for p in doc["printers"]}, {("OK", None, 72)})

    def test_table_breaks_no_line_with_a_name(self):
        table = read("table.txt")
        for name in self.names:
            self.assertIn(visible(name), table)
        self.assertNotIn("\r", table)


if __name__ == "__main__":
    unittest.main()
