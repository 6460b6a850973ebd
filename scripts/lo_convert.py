"""Headless LibreOffice conversion for the scripts that write workbooks."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile


def convert(sources, target, outdir, profile=None, settings=None, timeout=180):
    """Converts each source with `soffice --convert-to target` into outdir.

    LibreOffice runs in a profile of its own (a temporary one when profile is
    None), started with `settings` as its registrymodifications.xcu when given,
    so a desktop instance neither serves the request nor sees it. Its whole
    process group is ended afterwards: soffice leaves helpers behind now and
    then. Stops the script naming any file LibreOffice did not write.
    """
    own = profile is None
    if own:
        profile = tempfile.mkdtemp(prefix="lo-profile-")
    try:
        if settings is not None:
            os.makedirs(os.path.join(profile, "user"), exist_ok=True)
            with open(os.path.join(profile, "user", "registrymodifications.xcu"), "w") as f:
                f.write(settings)
        cmd = ["soffice", f"-env:UserInstallation=file://{profile}", "--headless", "--norestore",
               "--nologo", "--convert-to", target, "--outdir", outdir] + list(sources)
        proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                start_new_session=True)
        try:
            _, err = proc.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            err = b"timed out"
        finally:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            proc.wait()
    finally:
        if own:
            shutil.rmtree(profile, ignore_errors=True)
    ext = target.split(":", 1)[0]
    for src in sources:
        out = os.path.join(outdir, os.path.splitext(os.path.basename(src))[0] + "." + ext)
        if not os.path.isfile(out):
            sys.exit(f"LibreOffice did not write {out}: {err.decode(errors='replace').strip()}")
