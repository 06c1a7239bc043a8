#include <unistd.h>

#include <QLocalServer>
#include <QTest>
#include <filesystem>

#include "ProgramProcess.h"
#include "V7Aruviv/App/QtMainScheduler.h"
#include "V7Aruviv/App/SingleInstanceChannel.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;

// A later start of the program, in a Latin-1 folder with Latin-1 names, against a stand-in for the
// running copy on its socket: the copy gets the names' bytes, and the start's exit status says
// whether its files were handed over.
TEST(ProgramStart, ALaterStartHandsItsFilesOverAsTheirBytesAndSaysHowItWent) {
    enum class StandIn { takesThem, neverAnswers, refuses };
    const struct {
        const char* name;
        StandIn standIn;
        const char* end;
    } cases[] = {
        {"handed over", StandIn::takesThem, "exit 0"},
        {"not answered", StandIn::neverAnswers, "exit 1"},
        {"refused", StandIn::refuses, "exit 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramFolders folders;
        if (!folders.isValid()) GTEST_SKIP() << folders.problem();
        const fs::path folder = folders.root() / "Caf\xE9";
        ASSERT_TRUE(fs::create_directory(folder));
        const fs::path absolute = folders.root() / "S\xE9quences.syx";

        // The running copy drops whatever a process of another user sends.
        const unsigned long userId = ::getuid() + (c.standIn == StandIn::refuses ? 1 : 0);
        SingleInstanceServer copy(userId, std::make_shared<QtMainScheduler>());
        std::vector<Paths> deliveries;
        QObject::connect(&copy, &SingleInstanceServer::delivered,
                         [&](const Paths& paths) { deliveries.push_back(paths); });
        QLocalServer silent;
        if (c.standIn == StandIn::neverAnswers) {
            ASSERT_TRUE(silent.listen(folders.socketPath(false)));
        } else {
            ASSERT_EQ(copy.listen(folders.socketPath(false)), SingleInstanceServer::Claim::listening);
        }

        ProgramProcess start(folders, {{"Kick\xE9.syx", absolute.string()}, folder, {}});
        const auto runEvents = [] { QTest::qWait(2); };
        const auto status = start.waitForEnd(15000, runEvents);
        ASSERT_TRUE(status) << "the start did not end";
        EXPECT_EQ(howItEnded(*status), c.end);
        if (c.standIn == StandIn::takesThem) {
            // It reads the confirmation, which may come after the start ended.
            EXPECT_TRUE(QTest::qWaitFor([&] { return !deliveries.empty(); }, 5000));
            EXPECT_EQ(deliveries, (std::vector<Paths>{{folder / "Kick\xE9.syx", absolute}}));
        } else {
            EXPECT_EQ(deliveries, std::vector<Paths>{});
        }
    }
}

}  // namespace
}  // namespace k7::testing
