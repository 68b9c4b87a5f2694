// SPDX-License-Identifier: MIT
// The built libzorvakel.so itself: what it exports and what instructions it holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <vector>

namespace {

struct CommandResult {
    int exitCode = -1;
    std::string output;
};

CommandResult runCommand(const std::string& command)
{
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The viewer looks the kernel up by the plain name "Mandelbrot": it must be the library's one
// and only export, with C linkage (no mangling), defined in its code section.
TEST(KernelLibrary, ExportsOnlyMandelbrot)
{
    const CommandResult nm = runCommand(quoted(ZORVAKEL_NM) + " -D --defined-only " +
                                        quoted(ZORVAKEL_LIBRARY_FILE) + " 2>&1");
    ASSERT_EQ(nm.exitCode, 0) << nm.output;

    // Symbols the linker adds to every shared object.
    const std::set<std::string> linkerSymbols = {"_init", "_fini", "__bss_start", "_edata",
                                                 "_end"};
    std::set<std::string> exported;
    std::string mandelbrotType;
    for (const std::string& line : lines(nm.output)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (!(fields >> address >> type >> name))
            continue;
        if (linkerSymbols.count(name))
            continue;
        exported.insert(name);
        if (name == "Mandelbrot")
            mandelbrotType = type;
    }
    EXPECT_EQ(exported, std::set<std::string>{"Mandelbrot"}) << nm.output;
    EXPECT_EQ(mandelbrotType, "T") << nm.output;
}

// The kernel's results are defined with every product rounded before it is added; a fused
// multiply-add anywhere in the library would change them.
// x86 FMA3/FMA4 (vfmadd231sd, vfnmsubps, vfmaddsubpd, ...) and AArch64 (fmadd, fnmsub, fmla, ...).
bool isFusedMultiplyAdd(std::string_view mnemonic)
{
    if (mnemonic.starts_with("fmla") || mnemonic.starts_with("fmls"))
        return true;
    if (mnemonic.starts_with('v'))
        mnemonic.remove_prefix(1);
    if (!mnemonic.starts_with('f'))
        return false;
    mnemonic.remove_prefix(1);
    if (mnemonic.starts_with('n'))
        mnemonic.remove_prefix(1);
    return mnemonic.starts_with("madd") || mnemonic.starts_with("msub");
}

// Whether a line of `objdump -d --no-show-raw-insn` output is an instruction, and a fused
// multiply-add one. Instruction lines look like "    1115:\tmulsd  %xmm0,%xmm7"; labels,
// headers and blank lines have no tab after the address.
bool isFusedMultiplyAddLine(const std::string& line)
{
    const auto tab = line.find('\t');
    if (tab == std::string::npos || line.find(':') > tab)
        return false;
    std::istringstream rest(line.substr(tab + 1));
    std::string mnemonic;
    return (rest >> mnemonic) && isFusedMultiplyAdd(mnemonic);
}

TEST(KernelLibrary, FusedMultiplyAddDetectorTellsInstructionsApart)
{
    struct Case {
        const char* line;
        bool fused;
    };
    const Case cases[] = {
        // x86 FMA3, FMA4 and their negated, alternating and packed forms.
        {"    1115:\tvfmadd231sd %xmm2,%xmm1,%xmm0", true},
        {"    1115:\tvfmadd132pd %ymm2,%ymm1,%ymm0", true},
        {"    1115:\tvfmsub213ss %xmm2,%xmm1,%xmm0", true},
        {"    1115:\tvfnmadd231sd %xmm2,%xmm1,%xmm0", true},
        {"    1115:\tvfnmsub132ps %xmm2,%xmm1,%xmm0", true},
        {"    1115:\tvfmaddsub213pd %xmm2,%xmm1,%xmm0", true},
        {"    1115:\tvfmsubadd231pd %xmm2,%xmm1,%xmm0", true},
        {"    1115:\tvfmaddsd %xmm3,%xmm2,%xmm1,%xmm0", true},
        // AArch64.
        {"  40:\tfmadd\td0, d1, d2, d3", true},
        {"  40:\tfnmsub\td0, d1, d2, d3", true},
        {"  40:\tfmla\tv0.2d, v1.2d, v2.2d", true},
        {"  40:\tfmls\tv0.2d, v1.2d, v2.2d", true},
        // Separate multiplies and adds, which round each result: what the kernel must use.
        {"    1115:\tmulsd  %xmm0,%xmm7", false},
        {"    1115:\tvmulsd %xmm1,%xmm2,%xmm0", false},
        {"    1115:\taddsd  %xmm1,%xmm0", false},
        {"    1115:\tvaddsd %xmm1,%xmm2,%xmm0", false},
        {"    1115:\tsubsd  %xmm1,%xmm0", false},
        {"  40:\tfmul\td0, d1, d2", false},
        {"  40:\tfnmul\td0, d1, d2", false},
        {"  40:\tfmax\td0, d1, d2", false},
        {"  40:\tfmov\td0, x1", false},
        // "fma" in a symbol name, a comment or a label, not in the mnemonic.
        {"    1120:\tcall   1030 <fmaf@plt>", false},
        {"    1124:\tmovsd  0xee8(%rip),%xmm1        # 2010 <vfmadd231sd_table>", false},
        {"0000000000001100 <fmadd_helper>:", false},
        {"Disassembly of section .text:", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isFusedMultiplyAddLine(c.line), c.fused) << '"' << c.line << '"';
}

TEST(KernelLibrary, HoldsNoFusedMultiplyAdd)
{
    const CommandResult dump = runCommand(quoted(ZORVAKEL_OBJDUMP) + " -d --no-show-raw-insn " +
                                          quoted(ZORVAKEL_LIBRARY_FILE) + " 2>&1");
    ASSERT_EQ(dump.exitCode, 0) << dump.output;
    ASSERT_NE(dump.output.find("<Mandelbrot>:"), std::string::npos)
        << "no code for Mandelbrot in the disassembly";

    std::vector<std::string> offending;
    for (const std::string& line : lines(dump.output))
        if (isFusedMultiplyAddLine(line))
            offending.push_back(line);
    EXPECT_TRUE(offending.empty()) << offending.size() << " fused instructions, first: "
                                   << offending.front();
}

} // namespace
