#include "BlockingPause.h"

#include <QThread>

namespace {
std::function<void(int)>& impl()
{
    static std::function<void(int)> f;
    return f;
}
} // namespace

void BlockingPause::pause(int ms)
{
    if (impl())
        impl()(ms);
    else
        QThread::msleep(ms);
}

void BlockingPause::setImplementation(std::function<void(int)> f)
{
    impl() = std::move(f);
}
