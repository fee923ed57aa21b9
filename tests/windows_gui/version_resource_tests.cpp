// What Windows reads from trakmon32.exe and trakmon.exe without starting
// them: the version resource, as Explorer's Details page reads it, and the
// manifest, as the loader turns it into the program's activation context.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/wine_harness.h"
#include "trakmon_version.h"

namespace {

const char* const programs[] = {"trakmon32.exe", "trakmon.exe"};

std::string versionString(const std::vector<char>& info, const char* name)
{
    std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), key.c_str(), &value, &length) || length == 0) return "";
    return static_cast<const char*>(value);
}

TEST(VersionResource, ReadByGetFileVersionInfo)
{
    for (const char* program : programs) {
        SCOPED_TRACE(program);
        std::string path = programPath(program);
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
        ASSERT_NE(size, 0u) << "no version resource in " << path << ", error " << GetLastError();
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(TRAKMON_VERSION_MINOR, TRAKMON_VERSION_MAJOR));
        EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, TRAKMON_VERSION_PATCH));
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        EXPECT_EQ(versionString(info, "ProductName"), "trakmon");
        EXPECT_EQ(versionString(info, "FileVersion"), TRAKMON_VERSION);
        EXPECT_EQ(versionString(info, "ProductVersion"), TRAKMON_VERSION_AND_BUILD);
        EXPECT_EQ(versionString(info, "OriginalFilename"), program);
    }
}

// The manifest's run level keeps UAC file virtualization off; its supportedOS
// entries name Windows 7, 8, 8.1 and 10/11. (Only the count is read: the
// element's layout differs between SDK versions.)
TEST(Manifest, ActivationContextRunsAsInvokerOnFourWindowsVersions)
{
    for (const char* program : programs) {
        SCOPED_TRACE(program);
        std::string path = programPath(program);
        ACTCTXA request = {};
        request.cbSize = sizeof request;
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = path.c_str();
        request.lpResourceName = MAKEINTRESOURCEA(1);  // CREATEPROCESS_MANIFEST_RESOURCE_ID
        HANDLE context = CreateActCtxA(&request);
        ASSERT_NE(context, INVALID_HANDLE_VALUE)
            << "the loader takes no manifest from " << path << ", error " << GetLastError();

        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel = {};
        EXPECT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext,
                                 &runLevel, sizeof runLevel, nullptr));
        EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
        EXPECT_EQ(runLevel.UiAccess, 0u);

        SIZE_T needed = 0;
        QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, nullptr, 0,
                     &needed);
        std::vector<char> compatibility(needed > sizeof(DWORD) ? needed : sizeof(DWORD));
        EXPECT_TRUE(QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                                 compatibility.data(), compatibility.size(), nullptr));
        EXPECT_EQ(*reinterpret_cast<const DWORD*>(compatibility.data()), 4u);
        ReleaseActCtx(context);
    }
}

}  // namespace
