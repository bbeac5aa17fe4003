"""The build backend of pip install ./python, in the standard library alone,
so that the install needs nothing from a package index. The package is pure
Python: its wheel is the package's modules and their metadata, taken from
pyproject.toml's [project] table."""
import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def _project():
    with open(os.path.join(ROOT, "pyproject.toml"), encoding="utf-8") as file:
        text = file.read().split("[project]", 1)[1]
    return dict(re.findall(r'^(\w[\w-]*) = "([^"]*)"$', text, re.M))


def _modules(name):
    package = os.path.join(ROOT, name)
    for module in sorted(os.listdir(package)):
        if module.endswith(".py"):
            with open(os.path.join(package, module), "rb") as file:
                yield f"{name}/{module}", file.read()


def _hash(data):
    return base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project = _project()
    name, version = project["name"], project["version"]
    info = f"{name}-{version}.dist-info"
    metadata = (f"Metadata-Version: 2.1\nName: {name}\nVersion: {version}\n"
                f"Summary: {project['description']}\nRequires-Python: {project['requires-python']}\n")
    wheel = "Wheel-Version: 1.0\nGenerator: orbilo build_backend\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    entries = list(_modules(name)) + [(f"{info}/METADATA", metadata.encode()),
                                      (f"{info}/WHEEL", wheel.encode())]
    record = "".join(f"{path},sha256={_hash(data)},{len(data)}\n" for path, data in entries)
    filename = f"{name}-{version}-py3-none-any.whl"
    with zipfile.ZipFile(os.path.join(wheel_directory, filename), "w", zipfile.ZIP_DEFLATED) as archive:
        for path, data in entries:
            archive.writestr(path, data)
        archive.writestr(f"{info}/RECORD", record + f"{info}/RECORD,,\n")
    return filename


def build_sdist(sdist_directory, config_settings=None):
    project = _project()
    base = f"{project['name']}-{project['version']}"
    files = [("pyproject.toml", None), ("tools/build_backend.py", None)]
    with tarfile.open(os.path.join(sdist_directory, base + ".tar.gz"), "w:gz") as archive:
        for path, _ in files:
            archive.add(os.path.join(ROOT, path), f"{base}/{path}")
        for path, data in _modules(project["name"]):
            member = tarfile.TarInfo(f"{base}/{path}")
            member.size = len(data)
            archive.addfile(member, io.BytesIO(data))
    return base + ".tar.gz"
