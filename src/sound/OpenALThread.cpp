#include "sound/OpenALThread.h"

#include "sound/SoundEngineMessages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int kTimeSharingBase = 31; // nice 0
constexpr int kRealtimeBase = 63;

constexpr int kHandoffPending = 0;
constexpr int kHandoffPublished = 1;
constexpr int kHandoffFinished = 2;

void* ThreadTrampoline(void* inThread)
{
    OpenALThread::Entry(static_cast<OpenALThread*>(inThread));
    return nullptr;
}

bool ReadNice(pid_t inKernelThread, int& outNice)
{
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(inKernelThread));
    if (nice == -1 && errno != 0)
        return false;
    outNice = nice;
    return true;
}

// The lowest nice value RLIMIT_NICE lets this process reach without privileges.
int LowestAllowedNice()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0)
        return 20;
    rlim_t ceiling = limit.rlim_cur == RLIM_INFINITY ? 40 : std::min<rlim_t>(limit.rlim_cur, 40);
    return 20 - static_cast<int>(ceiling);
}

} // namespace

OpenALThread::OpenALThread(ThreadRoutine inThreadRoutine, void* inParameter, uint32_t inPriority, bool inFixedPriority,
                           bool inAutoDelete)
    : mDefaultPriority{getScheduledPriority(pthread_self(), 0)},
      mThreadRoutine{inThreadRoutine},
      mThreadParameter{inParameter},
      mPriority{inPriority},
      mFixedPriority{inFixedPriority},
      mAutoDelete{inAutoDelete}
{
}

int OpenALThread::getScheduledPriority(pthread_t inThread, int /*inSelector*/)
{
    if (inThread == 0)
        return 0;
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(inThread, &policy, &param) != 0)
        return 0;
    switch (policy) {
    case SCHED_OTHER:
    case SCHED_BATCH: {
        // Another thread's nice value cannot be reached from its handle; threads start with
        // their creator's, so the process's stands in for it.
        pid_t kernelThread = pthread_equal(inThread, pthread_self()) ? gettid() : 0;
        int nice = 0;
        if (!ReadNice(kernelThread, nice))
            return 0;
        return kTimeSharingBase - nice;
    }
    case SCHED_RR:
    case SCHED_FIFO:
        return kRealtimeBase + param.sched_priority;
    default:
        return 0;
    }
}

void OpenALThread::SetPriority(uint32_t inPriority, bool inFixedPriority)
{
    mPriority = inPriority;
    mFixedPriority = inFixedPriority;
    pthread_t handle = mThread.load();
    if (handle == 0)
        return;
    pid_t kernelThread = pthread_equal(handle, pthread_self()) ? gettid() : mKernelThreadID.load();

    if (inFixedPriority) {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_RR);
        if (pthread_setschedparam(handle, SCHED_RR, &param) != 0) {
            std::printf("OpenALThread::SetPriority: failed to set the fixed-priority policy");
            return;
        }
    }

    const int importance = static_cast<int>(inPriority) - mDefaultPriority;
    int policy = 0;
    sched_param param{};
    if (pthread_getschedparam(handle, &policy, &param) != 0) {
        std::printf("OpenALThread::SetPriority: failed to set the precedence policy");
        return;
    }

    if (policy == SCHED_RR || policy == SCHED_FIFO) {
        param.sched_priority = std::clamp(param.sched_priority + importance, sched_get_priority_min(policy),
                                          sched_get_priority_max(policy));
        if (pthread_setschedparam(handle, policy, &param) != 0)
            std::printf("OpenALThread::SetPriority: failed to set the precedence policy");
        return;
    }

    int nice = 0;
    if (kernelThread == 0 || !ReadNice(kernelThread, nice)) {
        std::printf("OpenALThread::SetPriority: failed to set the precedence policy");
        return;
    }
    const int wanted = std::clamp(nice - importance, -20, 19);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(kernelThread), wanted) == 0)
        return;
    std::printf("OpenALThread::SetPriority: failed to set the precedence policy");
    // Refused for want of privileges: take as much of the raise as RLIMIT_NICE allows.
    const int best = std::max(wanted, LowestAllowedNice());
    if (best < nice)
        setpriority(PRIO_PROCESS, static_cast<id_t>(kernelThread), best);
}

int OpenALThread::Start()
{
    if (mThread.load() != 0) {
        std::puts("OpenALThread::Start: can't start because the thread is already running");
        return EBUSY;
    }

    auto giveUp = [this](int error) {
        if (mAutoDelete)
            delete this;
        return error;
    };

    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error != 0) {
        SoundEnginePrintDecimal("Error initializing thread", error);
        return giveUp(error);
    }
    error = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (error != 0) {
        SoundEnginePrintDecimal("Error setting thread detach state", error);
        pthread_attr_destroy(&attributes);
        return giveUp(error);
    }

    mHandoff.store(kHandoffPending);
    pthread_t thread{};
    error = pthread_create(&thread, &attributes, ThreadTrampoline, this);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        SoundEnginePrintDecimal("Error creating thread", error);
        return giveUp(error);
    }

    mThread.store(thread);
    if (mHandoff.exchange(kHandoffPublished) == kHandoffFinished) {
        // The thread has already ended and left the object to us.
        if (mAutoDelete)
            delete this;
        else
            mThread.store(0);
    }
    return 0;
}

int OpenALThread::Entry(OpenALThread* inThread)
{
    inThread->mKernelThreadID.store(gettid());
    inThread->mThread.store(pthread_self());
    inThread->SetPriority(inThread->mPriority, inThread->mFixedPriority);
    int result = inThread->mThreadRoutine ? inThread->mThreadRoutine(inThread->mThreadParameter) : 0;
    inThread->Finish();
    return result;
}

void OpenALThread::Finish()
{
    const bool autoDelete = mAutoDelete;
    if (mHandoff.exchange(kHandoffFinished) != kHandoffPublished)
        return; // Start has not stored the handle yet; it finishes up for us
    if (autoDelete) {
        delete this;
        return;
    }
    // The last touch: from here the owner may free the object.
    mThread.store(0);
}
