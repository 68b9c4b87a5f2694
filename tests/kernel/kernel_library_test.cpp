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

TEST(KernelLibrary, HoldsNoFusedMultiplyAdd)
{
    const CommandResult dump = runCommand(quoted(ZORVAKEL_OBJDUMP) + " -d --no-show-raw-insn " +
                                          quoted(ZORVAKEL_LIBRARY_FILE) + " 2>&1");
    ASSERT_EQ(dump.exitCode, 0) << dump.output;
    ASSERT_NE(dump.output.find("<Mandelbrot>:"), std::string::npos)
        << "no code for Mandelbrot in the disassembly";

    std::vector<std::string> offending;
    for (const std::string& line : lines(dump.output)) {
        // Instruction lines look like "    1115:\tmulsd  %xmm0,%xmm7".
        const auto tab = line.find('\t');
        if (tab == std::string::npos || line.find(':') > tab)
            continue;
        std::istringstream rest(line.substr(tab + 1));
        std::string mnemonic;
        if ((rest >> mnemonic) && isFusedMultiplyAdd(mnemonic))
            offending.push_back(line);
    }
    EXPECT_TRUE(offending.empty()) << offending.size() << " fused instructions, first: "
                                   << offending.front();
}

} // namespace
