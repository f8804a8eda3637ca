#include "Worker.h"

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

Q_GLOBAL_STATIC(QThreadPool, theUnhurriedPool)

QThreadPool* unhurriedPool()
{
    return theUnhurriedPool();
}

void WorkerDetail::lowerThisThread()
{
#ifdef Q_OS_LINUX
    // Beside a busy thread at the default, one at 10 gets about a tenth of a core; alone, all
    // of it. QThread's priorities change nothing under Linux's default scheduler, and Linux
    // gives each thread a nice value of its own. A thread cannot raise itself again, so this
    // is only ever done on the unhurried pool's threads.
    thread_local const bool lowered =
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10) == 0;
    Q_UNUSED(lowered);
#endif
}
