// A program of its own: no manager may ever destroy the objects built at namespace scope.
#include "StartupObjects.h"

#include "CommonObjectEventManager.h"

#include <gtest/gtest.h>

namespace {

using Manager = CommonObjectEventManager;

TEST(StartupObjectsTest, ObjectsBuiltDuringStaticInitialisationAreRegistered)
{
    EXPECT_EQ(&g_startupObject, Manager::FindObjectByID(g_startupObject.GetID()));
    EXPECT_EQ(&g_startupObject, Manager::FindObjectByCOName("startup object"));
    EXPECT_EQ(&g_startupChannel, Manager::FindObjectByID(g_startupChannel.GetID()));
    EXPECT_EQ(g_startupChannel.GetID(), Manager::staticGetDispatcher("startup channel"));
    EXPECT_NE(g_startupObject.GetID(), g_startupChannel.GetID());
}

}  // namespace
