"""Headless Chromium driven over the DevTools protocol, and a plain static file server:
what the page's tests and the browser bench share. Needs python3-websocket."""
import base64
import contextlib
import functools
import http.server
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import urllib.request

import websocket

CHROMIUM_FLAGS = [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--autoplay-policy=no-user-gesture-required", "--remote-debugging-port=0",
    "--remote-allow-origins=*", "--window-size=1280,800", "--disable-dev-shm-usage",
]


class Quiet(http.server.SimpleHTTPRequestHandler):
    """A static server as any: no isolation headers, no logging."""

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def static_server(directory):
    handler = functools.partial(Quiet, directory=directory)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d/" % server.server_address[1]
    finally:
        server.shutdown()
        server.server_close()


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    raise RuntimeError("no Chromium found (apt-get install chromium)")


class Page:
    """One tab: commands, evaluation, input."""

    def __init__(self, ws_url):
        self.ws = websocket.create_connection(ws_url, timeout=60, suppress_origin=True)
        self.next_id = 0
        self.events = []

    def call(self, method, **params):
        self.next_id += 1
        my_id = self.next_id
        self.ws.send(json.dumps({"id": my_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("id") == my_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            self.events.append(message)

    def evaluate(self, expression, await_promise=False):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=await_promise)
        if "exceptionDetails" in result:
            raise RuntimeError("page error in %r: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def wait_for(self, expression, timeout, what=None):
        """Polls until the expression is true; returns its value."""
        deadline = time.monotonic() + timeout
        while True:
            value = self.evaluate(expression)
            if value:
                return value
            if time.monotonic() > deadline:
                raise TimeoutError("waited %.0f s for %s" % (timeout, what or expression))
            time.sleep(0.05)

    def key(self, key, code, key_code, modifiers=0):
        for kind in ("rawKeyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent", type=kind, key=key, code=code,
                      windowsVirtualKeyCode=key_code, modifiers=modifiers)

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        self.ws.close()


@contextlib.contextmanager
def chromium():
    """Yields a function that opens a page at a URL."""
    profile = tempfile.mkdtemp(prefix="kestol-chromium-")
    # In a session of its own, so that its helper processes end with it.
    process = subprocess.Popen([find_chromium(), *CHROMIUM_FLAGS, "--user-data-dir=" + profile, "about:blank"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    pages = []
    try:
        port_file = os.path.join(profile, "DevToolsActivePort")
        deadline = time.monotonic() + 30
        while not (os.path.exists(port_file) and open(port_file).read().count("\n") >= 1):
            if process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("Chromium did not start its DevTools server")
            time.sleep(0.05)
        port = int(open(port_file).read().split("\n")[0])

        def open_page(url):
            request = urllib.request.Request("http://127.0.0.1:%d/json/new?about:blank" % port, method="PUT")
            target = json.load(urllib.request.urlopen(request, timeout=30))
            page = Page(target["webSocketDebuggerUrl"])
            pages.append(page)
            page.call("Page.enable")
            page.call("Runtime.enable")
            page.call("Page.navigate", url=url)
            return page

        yield open_page
    finally:
        for page in pages:
            with contextlib.suppress(Exception):
                page.close()
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        # A helper may still write its last file into the profile as it goes.
        for _ in range(50):
            shutil.rmtree(profile, ignore_errors=True)
            if not os.path.exists(profile):
                break
            time.sleep(0.1)
