#!/usr/bin/env python3
"""Plants small faults in the product code, one at a time, and reports which
ones the test suite catches.

    scripts/planted-faults.py BUILD_DIR [NAME...]

Each fault is one exact text replacement in one file. The tree is rebuilt in
BUILD_DIR (an existing, configured build folder of this tree), the whole CTest
suite runs, and the fault counts as caught when any test fails. The file is
restored afterwards, also on Ctrl+C. A fault whose text is not found, or whose
build fails, is reported as such and not counted.
"""
import os
import pathlib
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent

# (name, file, text, replacement). Warnings are errors: a fault must leave
# every parameter used.
FAULTS = [
    ("query-plus", "src/link/QueryValue.cpp",
     'toPercentEncoding(value.toString(), "/")', 'toPercentEncoding(value.toString(), "/+")'),
    ("reply-cap", "src/link/HelperSocket.cpp",
     "if (needed > HelperSocket::maxReplyBytes)", "if (needed > 4 * HelperSocket::maxReplyBytes)"),
    ("sigpipe", "src/link/HelperSocket.cpp",
     "MSG_NOSIGNAL | MSG_DONTWAIT", "MSG_DONTWAIT"),
    ("json-fraction", "src/link/JsonReader.cpp",
     "!std::isfinite(d) || std::trunc(d) != d ||", "!std::isfinite(d) ||"),
    ("status-active", "src/link/Status.cpp",
     "active < 0 || active >= channels.size()", "active < 0 || active > channels.size()"),
    ("modal-tick", "src/core/Core.cpp",
     "if (!modalDepth().blocked())\n            refresh();\n    });\n    m_timer",
     "if (true)\n            refresh();\n    });\n    m_timer"),
    ("protection-code", "src/core/ConnectionCommands.cpp",
     "90, 204,", "90, 200,"),
    ("busy-connect", "src/ui/main/MainView.cpp",
     "if (m_core.busy() || !status.helper)\n        return;\n    if (status.running",
     "if (!status.helper)\n        return;\n    if (status.running"),
    ("update-reply", "src/core/AppUpdates.cpp",
     "reply && reply->status == 200", "reply"),
    ("challenge-empty", "src/signin/EmailSignInFlow.cpp",
     "!error && id && !id->isEmpty()", "!error && id"),
    ("code-graphemes", "src/signin/EmailSignInFlow.cpp",
     "m_waiting || graphemeCount(m_code) != 6", "m_waiting || m_code.size() != 6"),
    ("link-host", "src/account/OvrinLink.cpp",
     "url.scheme() != scheme || url.host() != host",
     "url.scheme() != scheme || url.host() == host + u'?'"),
    ("pair-claimed", "src/account/PairingApproval.cpp",
     'error || stringIn(json, u"status"_s) != u"claimed"_s || !requestID',
     "error || !requestID"),
    ("cabinet-stale", "src/cabinet/CabinetLoader.cpp",
     "!m_core.account().signed_in || m_core.account().device_id != deviceId",
     "!m_core.account().signed_in || m_core.account().device_id == deviceId + u'?'"),
    ("price-cents", "src/cabinet/CabinetFormat.cpp",
     "text += char('0' + cents % 10);", "text += char('0' + cents / 10);"),
    ("autostart-percent", "src/platform/desktop/XdgLoginItem.cpp",
     'value.replace(u"%"_s, u"%%"_s);', ""),
    ("helper-snapshots", "helper/src/tunnel/Logs.cpp",
     "for (std::size_t i = KeptSnapshots;", "for (std::size_t i = KeptSnapshots + 1;"),
    ("helper-nofollow", "helper/src/transport/ControlSocket.cpp",
     "O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);\n    if (m_lockFd < 0) {",
     "O_RDWR | O_CREAT | O_CLOEXEC, 0600);\n    if (m_lockFd < 0) {"),
    ("helper-session", "helper/src/transport/Router.cpp",
     "given->size() != m_updateSession.size())", "given->size() > m_updateSession.size())"),
    ("helper-corrupt-state", "helper/src/tunnel/StateStore.cpp",
     "if (!document) {\n        loaded.problem = error;", "if (!document) {\n        loaded.found = false;"),
]


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, capture_output=True, text=True, **kw)


def main():
    build = pathlib.Path(sys.argv[1]).resolve()
    wanted = set(sys.argv[2:])
    caught = planted = 0
    for name, rel, text, replacement in FAULTS:
        if wanted and name not in wanted:
            continue
        path = ROOT / rel
        original = path.read_text()
        if original.count(text) != 1:
            print(f"{name:22} not planted: the text is not in {rel} exactly once", flush=True)
            continue
        try:
            path.write_text(original.replace(text, replacement))
            started = time.monotonic()
            built = run(["cmake", "--build", str(build), "-j2"])
            if built.returncode != 0:
                print(f"{name:22} not planted: the build failed", flush=True)
                continue
            tests = run(["dbus-run-session", "--", "ctest", "--test-dir", str(build), "-j2",
                         "--timeout", "300", "-E", "^(format|package)$"],
                        env={**os.environ, "QT_QPA_PLATFORM": "offscreen"})
            failed = [line.split(" - ")[1].split(" ")[0] for line in tests.stdout.splitlines()
                      if " - " in line and line.strip()[0].isdigit()]
            planted += 1
            caught += bool(tests.returncode)
            verdict = "caught by " + ", ".join(failed) if tests.returncode else "MISSED"
            print(f"{name:22} {verdict}  ({time.monotonic() - started:.0f} s)", flush=True)
        finally:
            path.write_text(original)
    print(f"caught {caught} of {planted}", flush=True)
    # Leave the build matching the sources.
    run(["cmake", "--build", str(build), "-j2"])


if __name__ == "__main__":
    main()
