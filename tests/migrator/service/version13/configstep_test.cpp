#include "migrator/service/version13/configstep.hpp"

#include <gtest/gtest.h>

namespace {

using Migration::CentralServers;
using Migration::migratedServerAddresses;
using Addresses = std::vector<std::string>;

const CentralServers servers{"central.example", "old.example", "192.0.2.1", "other.example"};

TEST(ConfigStepTest, LegacyListsGetThePrimaryAddress) {
    EXPECT_EQ(Addresses{"central.example"}, migratedServerAddresses({"old.example"}, servers));
    EXPECT_EQ(Addresses{"central.example"}, migratedServerAddresses({"CENTRAL.Example", "private.lan"}, servers));
    EXPECT_EQ(Addresses{"central.example"}, migratedServerAddresses({"private.lan", "192.0.2.1"}, servers));
    EXPECT_EQ(Addresses{"central.example"}, migratedServerAddresses({"Old.Example"}, servers));
}

TEST(ConfigStepTest, OtherListsGetTheAlternativeAddress) {
    EXPECT_EQ(Addresses{"other.example"}, migratedServerAddresses({"private.lan"}, servers));
    EXPECT_EQ(Addresses{"other.example"}, migratedServerAddresses({"other.example", "x"}, servers));
    EXPECT_EQ(Addresses{"other.example"}, migratedServerAddresses({"central.example.lan", "192.0.2.10"}, servers));
    EXPECT_EQ(Addresses{"other.example"}, migratedServerAddresses({}, servers));
}

TEST(ConfigStepTest, BuiltInAddressesAreSet) {
    const CentralServers builtIn = Migration::builtInCentralServers();
    EXPECT_FALSE(builtIn.primary.empty());
    EXPECT_FALSE(builtIn.legacyHost.empty());
    EXPECT_FALSE(builtIn.legacyIp.empty());
    EXPECT_FALSE(builtIn.alternative.empty());
    EXPECT_NE(builtIn.primary, builtIn.alternative);
}

} // namespace
