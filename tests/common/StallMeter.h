// How long the GUI thread kept the window waiting: for tests and benchmarks that drive a console.
#pragma once

#include <algorithm>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// The longest time between two ticks of a 5 ms timer on the GUI thread while it lives.
class TStallMeter {
public:
    TStallMeter()
    {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { FLongest = std::max(FLongest, FSince.restart()); });
        FSince.start();
        FTimer.start();
    }
    qint64 LongestMs() const { return FLongest; }

private:
    QTimer FTimer;
    QElapsedTimer FSince;
    qint64 FLongest = 0;
};
