// The user-mode callback exception filter around plug-in calls, as 64-bit Windows 7 SP1 and
// later keep it: kernel32's two policy functions (which Wine lacks) stand in for by ours, handed
// out where the call scope looks them up. The scope looks them up once per process, so each
// process here sees one set of functions: this one both, each child one of them only.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "intercept.h"
#include "plugin_call.h"
#include "process_ui.h"

namespace {

constexpr DWORD kFilterEnabled = 1;  // PROCESS_CALLBACK_FILTER_ENABLED
// A bit of the policy that is not ours to touch.
constexpr DWORD kOtherBit = 0x80000000u;

struct Policy {
    bool hasGetter = true;
    bool hasSetter = true;
    bool getterFails = false;
    DWORD flags = kOtherBit;
    int gets = 0;
    int sets = 0;
};
Policy g_policy;

BOOL WINAPI GetPolicy(LPDWORD flags)
{
    ++g_policy.gets;
    if (g_policy.getterFails) return FALSE;
    *flags = g_policy.flags;
    return TRUE;
}

BOOL WINAPI SetPolicy(DWORD flags)
{
    ++g_policy.sets;
    g_policy.flags = flags;
    return TRUE;
}

bool AnswerPolicyLookups(HMODULE module, const char* name, FARPROC& address)
{
    if (module != GetModuleHandleW(L"kernel32.dll")) return false;
    if (std::strcmp(name, "GetProcessUserModeExceptionPolicy") == 0) {
        address = g_policy.hasGetter ? AsLookedUp(&GetPolicy) : nullptr;
        return true;
    }
    if (std::strcmp(name, "SetProcessUserModeExceptionPolicy") == 0) {
        address = g_policy.hasSetter ? AsLookedUp(&SetPolicy) : nullptr;
        return true;
    }
    return false;
}

// A scope is made in this process only after the stand-ins are in place.
TEST(CallbackPolicy, TheFilterIsOnForEachCallAndThePolicyIsBackAfterItAndUntouchedWithoutBothFunctions)
{
    const Program withoutGetter(ExecutablePath(), L"--gtest_also_run_disabled_tests "
                                                  L"--gtest_filter=CallbackPolicy.DISABLED_WithoutTheGetter");
    const Program withoutSetter(ExecutablePath(), L"--gtest_also_run_disabled_tests "
                                                  L"--gtest_filter=CallbackPolicy.DISABLED_WithoutTheSetter");
    const LookupIntercept lookups(&AnswerPolicyLookups);
    ASSERT_TRUE(lookups.Active());
    {
        PluginCallScope outer(nullptr);
        EXPECT_EQ(g_policy.flags, kOtherBit | kFilterEnabled);
        {
            // A plug-in's call from inside another's modal loop.
            const PluginCallScope inner(nullptr);
            EXPECT_EQ(g_policy.flags, kOtherBit | kFilterEnabled);
        }
        EXPECT_EQ(g_policy.flags, kOtherBit | kFilterEnabled) << "the outer call still runs";
        outer.Restore();
        EXPECT_EQ(g_policy.flags, kOtherBit);
    }
    EXPECT_EQ(g_policy.flags, kOtherBit);

    g_policy.getterFails = true;
    const int sets = g_policy.sets;
    {
        const PluginCallScope unknown(nullptr);
        EXPECT_EQ(g_policy.sets, sets) << "a policy that could not be read is not written";
    }
    EXPECT_EQ(g_policy.sets, sets);

    EXPECT_EQ(withoutGetter.Wait(), 0u);
    EXPECT_EQ(withoutSetter.Wait(), 0u);
}

// A call through a missing function would end the process: the parent sees its exit code.
void ScopeWithOneFunctionOnly()
{
    const LookupIntercept lookups(&AnswerPolicyLookups);
    ASSERT_TRUE(lookups.Active());
    {
        const PluginCallScope call(nullptr);
        EXPECT_EQ(g_policy.flags, kOtherBit);
    }
    EXPECT_EQ(g_policy.flags, kOtherBit);
    EXPECT_EQ(g_policy.gets + g_policy.sets, 0);
}

TEST(CallbackPolicy, DISABLED_WithoutTheGetter)
{
    g_policy.hasGetter = false;
    ScopeWithOneFunctionOnly();
}

TEST(CallbackPolicy, DISABLED_WithoutTheSetter)
{
    g_policy.hasSetter = false;
    ScopeWithOneFunctionOnly();
}

}  // namespace
