#!/usr/bin/env python3
"""examples/help.doc is what tools/make_help.py writes today, is marked Ukrainian (so a word
processor checks its spelling as Ukrainian, which LibreOffice confirms where installed) and
says what a chemist needs beyond the hints.

Usage: help_doc_test.py repository-folder
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = sys.argv[1]
DOC = os.path.join(ROOT, "examples", "help.doc")

# What the help must tell, and what it must no longer say.
MUST = ["з робочої папки", "назве папку", "test.xls", "десяткову крапку", "«4,2»",
        "прочитається як 4", "± 0,01", "0,5 вгору і вниз", "від'ємною",
        "не стандартне відхилення", "рядка заголовків", "спочатку довжина хвилі",
        "завершальною оптимізацією", "Автори", "Якщо файлу там немає",
        # a result as a Ukrainian desktop shows it, and why
        "наприклад 4,20 ± 0,01", "регіональних налаштувань системи",
        # the project, its (missing) licence and where problems go
        "проєкту Ferolan", "Ліцензії в репозиторії проєкту не вказано", "трекері задач"]
MUST_NOT = ["у тій самій папці, що й програма", "4.20 ± 0.01", "Ferolan developers"]


def text_of(rtf):
    return re.sub(r"\\u(-?\d+)\?", lambda m: chr(int(m.group(1)) % 65536), rtf)


def main():
    failures = []
    with open(DOC, encoding="ascii") as f:
        rtf = f.read()
    head = rtf[:re.search(r"\\par(?![a-z])", rtf).start()]  # up to the end of the title
    if r"\deflang1058" not in head.split("{\\fonttbl")[0]:
        failures.append("no \\deflang1058 in the document header")
    if r"\lang1058" not in re.sub(r"\\deflang1058", "", head):
        failures.append("no \\lang1058 before the text")
    # A4 (210 × 297 mm), as a Ukrainian printer has; Writer's default would be Letter.
    if r"\paperw11906\paperh16838" not in head:
        failures.append("the paper is not A4")
    text = text_of(rtf)
    failures += ["the help does not say: " + m for m in MUST if m not in text]
    failures += ["the help still says: " + m for m in MUST_NOT if m in text]
    if re.search(r"файла(?![а-яіїєґ])", text):
        failures.append("the help says «файла» (the genitive of «файл» is «файлу»)")

    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, "help.doc")
        subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_help.py"), fresh],
                       check=True)
        with open(fresh, encoding="ascii") as f:
            if f.read() != rtf:
                failures.append("examples/help.doc is not what tools/make_help.py writes")

        office = shutil.which("soffice") or shutil.which("libreoffice")
        if office:
            subprocess.run([office, "--headless", "-env:UserInstallation=file://" + tmp + "/lo",
                            "--convert-to", "fodt", "--outdir", tmp, DOC], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
            with open(os.path.join(tmp, "help.fodt"), encoding="utf-8") as f:
                fodt = f.read()
            if 'fo:language="uk"' not in fodt:
                failures.append("LibreOffice does not take the text as Ukrainian")
            if not re.search(r'fo:page-width="(21(\.00\d*)?cm|8\.26\d*in)"', fodt):
                failures.append("LibreOffice does not lay the text out on A4")
        else:
            print("LibreOffice not installed: the Writer check is left out")

    for f in failures:
        print("FAIL:", f)
    if not failures:
        print("help.doc: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
