// TDynamicLibrary: loading, symbol lookup, release, and the program-folder search.
#include "platform/dynamic_library.h"

#include "platform/file_system.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <link.h>

using namespace tessaly;

namespace {
using TCosFunc = double (*)(double);
}

TEST(DynamicLibrary, LoadsFindsSymbolsAndReleases)
{
    TDynamicLibrary lib;
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_EQ(lib.Symbol("cos"), nullptr);
    ASSERT_TRUE(lib.Load("libm.so.6")) << lib.LastError();
    auto cosine = lib.Function<TCosFunc>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(lib.Symbol("no_such_export_here"), nullptr);
    EXPECT_FALSE(lib.LastError().empty());

    TDynamicLibrary moved(std::move(lib));
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_TRUE(moved.IsLoaded());
    moved.Free();
    EXPECT_FALSE(moved.IsLoaded());
    EXPECT_EQ(moved.Symbol("cos"), nullptr);
}

TEST(DynamicLibrary, FailuresAreReported)
{
    tessaly::test::TTempDir dir;
    TDynamicLibrary lib;
    EXPECT_FALSE(lib.Load(""));
    EXPECT_FALSE(lib.Load(dir.File("missing.vfp")));
    EXPECT_FALSE(lib.LastError().empty());
    // A file that is no library.
    ASSERT_TRUE(tessaly::test::WriteFileBytes(dir.File("junk.vfp"), {'M', 'Z', 0, 0}));
    EXPECT_FALSE(lib.Load(dir.File("junk.vfp")));
    EXPECT_FALSE(lib.IsLoaded());
}

TEST(DynamicLibrary, BareNamesAreLookedForBesideTheProgramFirst)
{
    // Find the math library's file and copy it beside a pretend program.
    Dl_info info{};
    void *m = dlopen("libm.so.6", RTLD_NOW);
    ASSERT_NE(m, nullptr);
    ASSERT_NE(dladdr(dlsym(m, "cos"), &info), 0);
    tessaly::test::TTempDir dir;
    std::filesystem::copy_file(info.dli_fname, dir.File("mymath.vfp"));
    dlclose(m);

    TDynamicLibrary lib;
    EXPECT_FALSE(lib.Load("mymath.vfp"));   // not on the system's search path
    SetProgramDirOverride(dir.Path());
    bool loaded = lib.Load("mymath.vfp");
    SetProgramDirOverride("");
    ASSERT_TRUE(loaded) << lib.LastError();
    EXPECT_EQ(lib.Path(), dir.Path() + "/mymath.vfp");
    EXPECT_NE(lib.Symbol("cos"), nullptr);
}
