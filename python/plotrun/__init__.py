"""Plotrun from Python: the scan of plotrun-scan, as a function.

    import plotrun
    rows = plotrun.scan("chart.png", "chart.json")
    rows["x"], rows["y"]

``scan`` takes a picture file or a NumPy array of H x W x 3 or 4 bytes (red,
green, blue[, ignored]), and the settings as a settings file, a dict of its
keys, or a ``Settings``. It gives a NumPy structured array with one record
per strip and the fields that the settings ask for, named as the settings
file's "fields" keys: x, y, sdev, sdevY, bitmapX, bitmapY. Refused settings
and pictures that cannot be read raise ``ScanError``, with the message and
the exit code that plotrun-scan would give.
"""

import copy
import json
import os
import warnings

import numpy as np

from . import _plotrun

__version__ = _plotrun.__version__
__all__ = ["scan", "scan_text", "Settings", "ScanError", "ScanNotice", "__version__"]


class ScanError(Exception):
    """A scan that gave no result: refused settings, a picture that cannot be
    read, an area the checks stop, or a value beyond the range of real numbers.

    ``message`` is plotrun-scan's message and ``exit_code`` its exit code:
    1 a picture or file error, 2 refused settings, 3 the scan stopped by its
    checks, 4 a result that is not a finite number.
    """

    def __init__(self, message, exit_code):
        super().__init__(message)
        self.message = message
        self.exit_code = exit_code


class ScanNotice(UserWarning):
    """What plotrun-scan writes beside a result (a scan width made smaller,
    the runs that curve following found), given as a warning."""


def _settings_source(settings):
    """(settings file text, None) or (None, path) for the engine."""
    if isinstance(settings, Settings):
        return settings.json, None
    if isinstance(settings, dict):
        return json.dumps(settings), None
    if isinstance(settings, (str, bytes, os.PathLike)):
        return None, os.fsdecode(settings)
    raise TypeError("settings must be a dict, a Settings or the path of a settings file, not %s"
                    % type(settings).__name__)


def _outcome(picture, settings, scale_with_picture, give):
    text, path = _settings_source(settings)
    if isinstance(picture, np.ndarray):
        if picture.dtype != np.uint8 or picture.ndim != 3 or picture.shape[2] not in (3, 4):
            raise TypeError("the picture array must have shape (H, W, 3) or (H, W, 4) and dtype uint8, not %s of %s"
                            % (picture.shape, picture.dtype))
        if not _plotrun.readable_in_place(picture):
            picture = np.ascontiguousarray(picture)
        outcome = _plotrun.scan_array(picture, text, path, scale_with_picture, give)
    elif isinstance(picture, (str, bytes, os.PathLike)):
        outcome = _plotrun.scan_file(os.fsdecode(picture), text, path, scale_with_picture, give)
    else:
        raise TypeError("picture must be a path or a NumPy array, not %s" % type(picture).__name__)
    code, messages, result, names = outcome
    if code != 0:
        raise ScanError(messages.rstrip("\n"), code)
    if messages:
        warnings.warn(messages.rstrip("\n"), ScanNotice, stacklevel=3)
    return result, names


def _records(values, names):
    dtype = np.dtype([(name, np.float64) for name in names])
    # The rows' values lie side by side, one record each: a view, no copy.
    return values.view(dtype).reshape(len(values))


def scan(picture, settings, *, scale_with_picture=False):
    """Scans a picture with saved settings, as plotrun-scan --settings does.

    picture: the path of a picture file in any format plotrun-scan reads, or
        a NumPy array of shape (H, W, 3) or (H, W, 4) and dtype uint8 with
        red first. An array whose rows each hold their pixels side by side
        (any C-ordered array, and its row slices) is scanned where it lies;
        another is copied first.
    settings: a dict with the keys of a settings file, a Settings, or the
        path of a settings file.
    scale_with_picture: scale the marks, the area and the lengths of the
        settings to a picture of another size (--scale-with-picture);
        otherwise such a picture is refused.

    Returns a NumPy structured array, one record per strip, with the fields
    the settings ask for: x, y (real coordinates), sdev, sdevY, bitmapX,
    bitmapY. An absent SDEV/Y is NaN. The scan releases the GIL, so threads
    may scan side by side.

    Raises ScanError with plotrun-scan's message and exit code.
    """
    return _records(*_outcome(picture, settings, scale_with_picture, _plotrun.Give.VALUES))


def scan_text(picture, settings, *, scale_with_picture=False):
    """The output text that plotrun-scan --settings writes for the picture,
    byte for byte: the header block and column names when the settings ask
    for them, the settings' delimiter and decimal separator, lines ending in
    CR LF. Takes the same arguments as scan(); an array's colour depth shows
    as "-". Raises ScanError as scan() does.
    """
    return _outcome(picture, settings, scale_with_picture, _plotrun.Give.TEXT)[0].decode("utf-8")


def _checked(text=None, path=None):
    code, answer = _plotrun.checked_settings(text or "", path)
    if code != 0:
        raise ScanError(answer, code)
    return json.loads(answer)


class Settings:
    """The settings of one calibration, as a settings file holds them.

    Settings(source) takes a dict with the keys of a settings file, the path
    of one, or another Settings. Every change is judged by the same checks
    as the options dialog's OK; a refused change raises ScanError (exit code
    2) and leaves the settings as they were.

        s = plotrun.Settings("chart.json")
        s["area.startX"] = 80             # one key, by its dotted name
        s.update({"threshold.value": 100, "area.endX": 500})  # judged together
        s.write("chart-2.json")
    """

    def __init__(self, source):
        if isinstance(source, Settings):
            self._data = copy.deepcopy(source._data)
        elif isinstance(source, dict):
            self._data = _checked(text=json.dumps(source))
        elif isinstance(source, (str, bytes, os.PathLike)):
            self._data = _checked(path=os.fsdecode(source))
        else:
            raise TypeError("Settings takes a dict, a Settings or a path, not %s" % type(source).__name__)

    @classmethod
    def read(cls, path):
        """The settings of a settings file."""
        return cls(os.fspath(path))

    @property
    def json(self):
        """The settings file's text."""
        return json.dumps(self._data, indent=4)

    def to_dict(self):
        """A copy of the settings as a dict of the settings file's keys."""
        return copy.deepcopy(self._data)

    def keys(self):
        """The dotted names of every value, as "area.startX"."""
        out = []

        def walk(d, prefix):
            for k, v in d.items():
                if isinstance(v, dict):
                    walk(v, prefix + k + ".")
                else:
                    out.append(prefix + k)

        walk(self._data, "")
        return out

    def __getitem__(self, key):
        d = self._data
        for part in key.split("."):
            if not isinstance(d, dict) or part not in d:
                raise KeyError(key)
            d = d[part]
        return copy.deepcopy(d)

    def __setitem__(self, key, value):
        self.update({key: value})

    def update(self, changes):
        """Changes several values at once, judged together: {dotted key: value}."""
        data = copy.deepcopy(self._data)
        for key, value in changes.items():
            *groups, last = key.split(".")
            d = data
            for part in groups:
                d = d.setdefault(part, {})
                if not isinstance(d, dict):
                    raise KeyError(key)
            d[last] = value
        self._data = _checked(text=json.dumps(data))

    def write(self, path):
        """Writes the settings file whole or not at all; OSError when it fails."""
        error = _plotrun.write_settings(self.json, os.fsdecode(os.fspath(path)))
        if error:
            raise OSError('cannot write "%s": %s' % (os.fsdecode(os.fspath(path)), error))

    def __eq__(self, other):
        return isinstance(other, Settings) and self._data == other._data

    def __repr__(self):
        return "plotrun.Settings(%r)" % (self._data,)
