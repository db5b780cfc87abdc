// The stop button of a job's drawing.

#include "Cancel.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace
{

thread_local const Cancel *active = nullptr;

} // namespace

Cancel::Cancel() : event(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Cancel::~Cancel()
{
    if (event >= 0)
        ::close(event);
}

void Cancel::cancel()
{
    stopped = true;
    if (event >= 0)
        ::eventfd_write(event, 1);
}

Cancel::Scope::Scope(const Cancel *cancel) : outer(active)
{
    active = cancel;
}

Cancel::Scope::~Scope()
{
    active = outer;
}

const Cancel *Cancel::current()
{
    return active;
}
