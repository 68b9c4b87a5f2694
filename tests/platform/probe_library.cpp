// SPDX-License-Identifier: MIT
// A shared library for the binding tests: it exports one function, and not the kernel's.
extern "C" __attribute__((visibility("default"))) int veldtra_probe_answer()
{
    return 42;
}
