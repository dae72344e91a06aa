"""A throwaway PostgreSQL cluster for the board's tests: initdb and pg_ctl in a temporary folder,
listening on a unix socket there only, no system service. As root it runs as nobody, since
initdb refuses root. Where the server's programs are missing or it will not start, the test
is skipped (exit status 77), never passed."""
import atexit
import glob
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def skip(why):
    print("SKIP: PostgreSQL is not available here:", why)
    sys.exit(SKIP)


def server_programs():
    try:
        bindir = subprocess.run(["pg_config", "--bindir"], capture_output=True, text=True).stdout.strip()
    except OSError:
        bindir = ""
    # pg_config comes with libpq's headers; the server's programs are in Debian's versioned folder.
    for folder in [bindir] + sorted(glob.glob("/usr/lib/postgresql/*/bin"), reverse=True):
        if folder and os.access(os.path.join(folder, "initdb"), os.X_OK) and os.access(
                os.path.join(folder, "pg_ctl"), os.X_OK):
            return folder
    skip("no initdb and pg_ctl (Debian's postgresql package has them)")


class Cluster:
    """Started on construction, stopped at exit. url(name) is a database's connection URI."""

    def __init__(self):
        self.bin = server_programs()
        self.folder = tempfile.mkdtemp(prefix="board-pg-")
        self.data = os.path.join(self.folder, "data")
        self.as_user = []
        if os.getuid() == 0:
            os.chown(self.folder, *_nobody())
            self.as_user = ["runuser", "-u", "nobody", "--"]
        self._run("initdb", "-D", self.data, "-U", "board", "-A", "trust", "--no-sync", "-E", "UTF8")
        self.resume()
        atexit.register(self.stop)

    def pause(self):
        """Stops the server, keeping its data, as an operator's restart or a failover does."""
        self._run("pg_ctl", "-D", self.data, "-m", "fast", "-w", "stop")

    def resume(self):
        self._run("pg_ctl", "-D", self.data, "-l", os.path.join(self.folder, "log"), "-w", "-o",
                  f"-k {self.folder} -c listen_addresses='' -c fsync=off", "start")

    def _run(self, program, *arguments):
        try:
            result = subprocess.run(self.as_user + [os.path.join(self.bin, program), *arguments],
                                    capture_output=True, text=True)
        except OSError as failure:
            skip(f"{program}: {failure}")
        if result.returncode != 0:
            log = os.path.join(self.folder, "log")
            skip(f"{program} failed: {result.stderr.strip()[-400:]}"
                 + (open(log).read()[-400:] if os.path.exists(log) else ""))

    def create(self, name):
        self._run("createdb", "-h", self.folder, "-U", "board", name)
        return self.url(name)

    def url(self, name):
        return f"postgresql:///{name}?host={self.folder}&user=board"

    def query(self, name, sql):
        """Rows of a query, through psql: the test's own look at the database."""
        out = subprocess.run([os.path.join(self.bin, "psql"), "-X", "-A", "-t", "-F", "\t", "-h", self.folder,
                              "-U", "board", "-d", name, "-c", sql], capture_output=True, text=True, check=True)
        return [line.split("\t") for line in out.stdout.splitlines() if line]

    def stop(self):
        subprocess.run(self.as_user + [os.path.join(self.bin, "pg_ctl"), "-D", self.data, "-m", "immediate", "stop"],
                       capture_output=True)
        shutil.rmtree(self.folder, ignore_errors=True)


def _nobody():
    import pwd
    entry = pwd.getpwnam("nobody")
    return entry.pw_uid, entry.pw_gid
