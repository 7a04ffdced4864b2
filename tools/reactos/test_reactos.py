"""The ReactOS run's own logic: the desktop test on pictures, the boot menu and
unattended-setup edits, and what the INF's install plan gives when the INF
changes."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import image  # noqa: E402
import run  # noqa: E402

BLUE, GREY, WHITE = b"\x3a\x6e\xa5", b"\xd4\xd0\xc8", b"\xff\xff\xff"


def picture(width, height, rows):
    """rows(y) -> (colour, text): a row of one colour with `text` pixels of white."""
    data = bytearray()
    for y in range(height):
        colour, text = rows(y)
        data += WHITE * text + colour * (width - text)
    return width, height, bytes(data)


class Taskbar(unittest.TestCase):
    def test_pictures(self):
        cases = [
            ("taskbar at the bottom", True,
             lambda y: (GREY, 60) if y >= 572 else (BLUE, 0)),
            ("no taskbar", False, lambda y: (BLUE, 0)),
            ("a wait screen: text on the desktop colour at the bottom", False,
             lambda y: (BLUE, 200) if y >= 560 else (BLUE, 0)),
            ("a band too thin for a taskbar", False,
             lambda y: (GREY, 0) if y >= 590 else (BLUE, 0)),
            ("a band mostly covered", False,
             lambda y: (GREY, 400) if y >= 572 else (BLUE, 0)),
            ("one colour everywhere, grey", False, lambda y: (GREY, 0)),
        ]
        for name, expected, rows in cases:
            with self.subTest(name):
                self.assertEqual(run.taskbar(*picture(800, 600, rows)), expected)

    def test_small_and_tv_sizes(self):
        for width, height in ((640, 480), (720, 576), (320, 200)):
            with self.subTest(f"{width}x{height}"):
                rows = (lambda y, h=height: (GREY, 40) if y >= h - 28 else (BLUE, 0))
                self.assertTrue(run.taskbar(*picture(width, height, rows)))


FREELDR = ("[FREELOADER]\r\nDefaultOS=LiveCD_Debug\r\nTimeOut=5\r\n\r\n"
           "[Operating Systems]\r\nLiveCD=\"LiveCD\"\r\n\r\n[LiveCD]\r\nOptions=/MININT\r\n")


class BootFiles(unittest.TestCase):
    def test_boot_entry(self):
        for hal, option in (("halacpi.dll", "/HAL=halacpi.dll /DEBUG"), ("hal.dll", "Options=/DEBUG")):
            with self.subTest(hal):
                text = image.edit_freeldr(FREELDR, hal)
                self.assertIn(f"DefaultOS={image.BOOT_ENTRY}\r\n", text)
                self.assertIn("TimeOut=0\r\n", text)
                self.assertIn(f'[Operating Systems]\n{image.BOOT_ENTRY}="', text)
                entry = text.split(f"[{image.BOOT_ENTRY}]", 1)[1]
                self.assertIn(option, entry)
                self.assertIn("/DEBUGPORT=COM1 /BAUDRATE=115200", entry)
                self.assertIn('LiveCD="LiveCD"', text)  # the others stay

    def test_unattend(self):
        cases = [
            ("[Unattend]\r\nUnattendSetupEnabled = no\r\nLocaleID = 409\r\n",
             "[Unattend]\r\nUnattendSetupEnabled = yes\r\nLocaleID = 409\r\n"),
            ("[Unattend]\r\nLocaleID = 409\r\n",
             "[Unattend]\r\nUnattendSetupEnabled = yes\nLocaleID = 409\r\n"),
        ]
        for given, expected in cases:
            with self.subTest(given):
                self.assertEqual(image.edit_unattend(given), expected)


INF = open(os.path.join(os.path.dirname(__file__), "..", "..", "package", "orva.inf"),
           encoding="utf-8").read()


class InstallPlan(unittest.TestCase):
    def plan(self, text):
        return image.infcheck.install_plan(image.infcheck.Inf(text))

    def test_the_package(self):
        plan = self.plan(INF)
        self.assertEqual(plan["service"], "orva")
        self.assertEqual(plan["service_values"]["ServiceBinary"], "system32\\drivers\\orva.sys")
        names = [name for name, _, _ in plan["add"]]
        self.assertIn("InstalledDisplayDrivers", names)
        self.assertIn("DefaultSettings.BitsPerPel", plan["delete"])

    def test_changes_to_the_inf_show(self):
        cases = [
            ("StartType      = 1", "StartType      = 3",
             lambda plan: plan["service_values"]["StartType"] == "3"),
            ("HKR,, VideoDebugLevel, %REG_DWORD%, 0",
             "HKR,, VideoDebugLevel, %REG_DWORD%, 0\nHKR,, Extra, %REG_SZ%, \"x\"",
             lambda plan: ("Extra", "%REG_SZ%", ["x"]) in plan["add"]),
            ("AddService = orva,", "AddService = orvb,", lambda plan: plan["service"] == "orvb"),
            ("[orva_Service_Inst]", "[orva_Other]", lambda plan: plan is None),
        ]
        for old, new, holds in cases:
            with self.subTest(new):
                self.assertIn(old, INF)
                self.assertTrue(holds(self.plan(INF.replace(old, new))))


class Sizes(unittest.TestCase):
    def test_memory_and_mode(self):
        self.assertEqual(run.memory_kb("4M"), 4096)
        self.assertEqual(run.memory_kb("2048K"), 2048)
        self.assertEqual(run.memory_kb("8"), 8192)
        self.assertEqual(run.parse_mode("800x600x16"), (800, 600, 16))
        for bad in ("800x600", "4G"):
            with self.subTest(bad), self.assertRaises(ValueError):
                run.parse_mode(bad) if "x" in bad else run.memory_kb(bad)


if __name__ == "__main__":
    unittest.main()
