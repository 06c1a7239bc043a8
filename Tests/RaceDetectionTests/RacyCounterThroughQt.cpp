// Two threads bump one unguarded counter, each call made by Qt's code: a race of ours with Qt's
// frames on both stacks. The test passes when ThreadSanitizer reports it.
#include <QObject>
#include <cstdio>
#include <thread>

int main() {
    int counter = 0;
    QObject context;
    const auto bump = [&] {
        for (int n = 0; n < 10000; ++n) QMetaObject::invokeMethod(&context, [&] { ++counter; }, Qt::DirectConnection);
    };
    std::thread first(bump);
    std::thread second(bump);
    first.join();
    second.join();
    std::printf("counted %d\n", counter);
    return 0;
}
