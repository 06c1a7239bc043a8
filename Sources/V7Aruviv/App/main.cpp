#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <filesystem>

#include "V7Aruviv/App/AppIcon.h"
#include "V7Aruviv/App/AppLaunchOptions.h"
#include "V7Aruviv/App/MainWindow.h"
#include "V7Aruviv/App/SingleInstanceChannel.h"
#include "V7Aruviv/App/TerminationSignals.h"
#include "V7Aruviv/App/V7AruvivApp.h"

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("V7/64"));
    QApplication::setOrganizationDomain(QStringLiteral("v764.org"));
    QApplication::setDesktopFileName(QStringLiteral("org.v764.V7Aruviv"));
    QApplication::setWindowIcon(k7::appIcon());

    // QApplication has taken its own arguments out of argv.
    const auto options = k7::AppLaunchOptions::ofThisProcess(argc, argv);

    // From here on SIGTERM, and SIGINT and SIGHUP unless it started with them ignored, end the program
    // through its teardown, which removes the socket.
    k7::TerminationSignals termination;
    if (!termination.problem().empty()) {
        std::fprintf(stderr, "V7/64 ends at once on SIGTERM (%s).\n", termination.problem().c_str());
    }
    QObject::connect(&termination, &k7::TerminationSignals::arrived, &k7::V7AruvivApp::endWithoutAsking);

    // One running copy per user: a later start hands its files over and ends.
    const auto socket = k7::singleInstanceSocketForThisProcess(options.offlineHealthCheck);
    k7::SingleInstanceServer instance;
    if (socket.path.isEmpty()) {
        std::fprintf(stderr, "V7/64 runs alone (%s).\n", socket.problem.c_str());
    } else {
        // The waits for its turn and for the running copy's answer run no event loop: a signal meanwhile
        // ends this start at once, before it confirms, so none of its files are opened. Once it takes
        // the socket, the teardown that removes it runs first.
        termination.setEndsAtOnce(true);
        const auto throughTeardown = [&termination] { termination.setEndsAtOnce(false); };
        const auto start = k7::claimOrHandOff(instance, socket.path, options.files, throughTeardown);
        throughTeardown();
        switch (start) {
            case k7::SingleInstanceStart::handedOff: return 0;
            case k7::SingleInstanceStart::notAnswered:
                std::fprintf(stderr,
                             "V7/64 is already running but did not answer within %lld seconds; the files were not "
                             "opened (%s).\n",
                             static_cast<long long>(k7::singleInstanceAnswerTimeout.count()), qPrintable(socket.path));
                return 1;
            case k7::SingleInstanceStart::refused:
                std::fprintf(stderr, "V7/64 is already running but refused the files; they were not opened (%s).\n",
                             qPrintable(socket.path));
                return 1;
            case k7::SingleInstanceStart::alone:
                std::fprintf(stderr, "V7/64 runs alone: a program of another user answers at %s.\n",
                             qPrintable(socket.path));
                break;
            case k7::SingleInstanceStart::running: break;
        }
    }

    k7::V7AruvivApp app(options);
    app.start();
    QObject::connect(&instance, &k7::SingleInstanceServer::delivered, &app,
                     qOverload<const std::vector<std::filesystem::path>&>(&k7::V7AruvivApp::openFromLaterStart));

    // For the start-up benchmark: report the time to the exposed window, then quit.
    if (qEnvironmentVariableIsSet("V764_QUIT_WHEN_SHOWN")) {
        auto* poll = new QTimer(&application);
        poll->setInterval(1);
        QObject::connect(poll, &QTimer::timeout, &application, [&, poll] {
            const QWindow* window = app.window()->windowHandle();
            if (!window || !window->isExposed()) return;
            poll->stop();
            std::printf("shown after %lld ms\n", static_cast<long long>(sinceStart.elapsed()));
            std::fflush(stdout);
            QApplication::exit(0);
        });
        poll->start();
    }
    return QApplication::exec();
}
