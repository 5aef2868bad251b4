"""Plain TypeErrors for arguments of the wrong type.

The extension's functions refuse an argument they cannot convert with the binding
library's own text (the overloads it supports and a repr of every argument). The package
wraps them so that the error names the argument, the type it takes and the type it was
given: "render(): width must be an int, not str".
"""

from __future__ import annotations

import functools
import numbers
import re

_KNOWN = ("incompatible function arguments", "incompatible constructor arguments")

# Annotation text of the extension's signatures: what it takes, in words, and a check.
_PLAIN = {
    "int": ("an int", lambda x: isinstance(x, numbers.Integral) and not isinstance(x, bool)
            or (hasattr(x, "__index__") and not isinstance(x, (float, bool)))),
    "float": ("a number", lambda x: isinstance(x, numbers.Real)
              or (hasattr(x, "__float__") and not isinstance(x, (str, bytes)))),
    "str": ("a str", lambda x: isinstance(x, str)),
    "numpy.ndarray": ("an array", lambda x: type(x).__name__ == "ndarray"),
    "bool": ("a bool", lambda x: isinstance(x, (bool, int)) or type(x).__name__ == "bool_"),
    "List[str]": ("a list of str", lambda x: isinstance(x, (list, tuple))
                  and all(isinstance(i, str) for i in x)),
    "List[int]": ("a list of int", lambda x: isinstance(x, (list, tuple))
                  and all(isinstance(i, numbers.Integral) for i in x)),
    "bytes": ("bytes", lambda x: isinstance(x, bytes)),
}


def _split_params(text: str) -> list[str]:
    """Splits "a: int, b: Optional[List[str]] = None" at the top-level commas."""
    parts, depth, start = [], 0, 0
    for i, ch in enumerate(text):
        if ch in "([":
            depth += 1
        elif ch in ")]":
            depth -= 1
        elif ch == "," and depth == 0:
            parts.append(text[start:i].strip())
            start = i + 1
    if text[start:].strip():
        parts.append(text[start:].strip())
    return parts


def _signature(func, is_method: bool) -> list[tuple[str, str, bool]]:
    """(name, annotation, has default) of each parameter of the first overload, without the
    object a method is called on."""
    doc = (getattr(func, "__doc__", None) or "").splitlines()
    first = next((line for line in doc if "(" in line), "")
    match = re.match(r"\s*(?:\d+\.\s*)?[\w.]*\((.*)\)(?:\s*->.*)?$", first)
    if not match:
        return []
    params = []
    for part in _split_params(match.group(1)):
        if part.startswith("*"):
            continue
        name, _, rest = part.partition(":")
        annotation, eq, _ = rest.partition("=")
        params.append((name.strip(), annotation.strip(), bool(eq)))
    return params[1:] if is_method else params


def _takes(annotation: str, value) -> tuple[bool, str]:
    """Whether the annotation accepts value, and what it takes in words."""
    optional = re.fullmatch(r"Optional\[(.*)\]", annotation)
    if optional:
        ok, words = _takes(optional.group(1), value)
        return ok or value is None, words + " or None"
    if annotation in _PLAIN:
        words, check = _PLAIN[annotation]
        return check(value), words
    if annotation.endswith(".Texture"):
        return type(value).__name__ == "Texture", "a Texture"
    return True, annotation  # object, handle, arrays: the function itself says what is wrong


def _plain_message(name: str, func, args, kwargs, is_method: bool) -> str | None:
    params = _signature(func, is_method)
    if not params:
        return None
    names = [p[0] for p in params]
    if len(args) > len(params):
        return f"{name}() takes at most {len(params)} positional arguments ({len(args)} given)"
    given = dict(zip(names, args))
    for key, value in kwargs.items():
        if key in given:
            return f"{name}() got two values for argument '{key}'"
        given[key] = value
    for pname, annotation, has_default in params:
        if pname not in given:
            if not has_default:
                return f"{name}() is missing the argument '{pname}'"
            continue
        ok, words = _takes(annotation, given[pname])
        if not ok:
            return f"{name}(): {pname} must be {words}, not {type(given[pname]).__name__}"
    return None


def plain_type_errors(func, name: str, is_method: bool = False):
    """func, raising a plain TypeError where the binding library would explain itself."""

    @functools.wraps(func)
    def call(*args, **kwargs):
        try:
            return func(*args, **kwargs)
        except TypeError as e:
            if not any(k in str(e) for k in _KNOWN):
                raise
            own = args[1:] if is_method else args
            message = _plain_message(name, func, own, kwargs, is_method)
            if message and name.endswith(" ="):
                # A property: "Texture.seed = 'x'" says the attribute, not the setter's argument.
                message = name[:-2] + " must be" + message.split(" must be", 1)[-1]
            if message is None:
                signature = ", ".join(f"{n}: {a}" for n, a, _ in _signature(func, is_method))
                message = f"{name}(): wrong argument types; it takes ({signature})"
            raise TypeError(message) from None

    return call


def wrap_module(namespace: dict, names) -> None:
    for name in names:
        func = namespace[name]
        if callable(func) and not isinstance(func, type):
            namespace[name] = plain_type_errors(func, name)


def wrap_class(cls) -> None:
    for attr, value in list(vars(cls).items()):
        if attr.startswith("__") and attr not in ("__init__", "__getitem__", "__setitem__",
                                                  "__contains__", "__delitem__"):
            continue
        if isinstance(value, property):
            if value.fset is not None:
                setter = plain_type_errors(value.fset, f"{cls.__name__}.{attr} =", True)
                setattr(cls, attr, property(value.fget, setter, value.fdel, value.__doc__))
            continue
        if type(value).__name__ == "instancemethod":
            name = cls.__name__ if attr == "__init__" else f"{cls.__name__}.{attr}"
            wrapped = plain_type_errors(value.__func__, name, True)
            setattr(cls, attr, wrapped)
