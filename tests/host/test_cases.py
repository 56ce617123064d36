"""The test cases of an end-to-end script, for CMake: one CTest entry each, so that every
scenario passes or fails on its own line. Read from the script's text, not by running it:
the scripts start servers and read their arguments when imported.
  test_cases.py SCRIPT     prints Class.test_name;... of every TestCase method in SCRIPT"""
import ast
import sys


def test_cases(path):
    with open(path) as script:
        tree = ast.parse(script.read(), path)
    return [f"{node.name}.{item.name}"
            for node in tree.body if isinstance(node, ast.ClassDef)
            for item in node.body
            if isinstance(item, ast.FunctionDef) and item.name.startswith("test_")]


if __name__ == "__main__":
    cases = test_cases(sys.argv[1])
    if not cases:
        sys.exit(f"{sys.argv[1]}: no test cases")
    print(";".join(cases))
