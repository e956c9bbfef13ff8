#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <sys/types.h>

// The priority a looping effect's playback thread asks for: the normal level of an
// interactive thread (nice 0 on Linux) on the scale getScheduledPriority reports.
inline constexpr uint32_t kPlaybackThreadPriority = 31;

// A detached platform thread running one function, with a priority request. Priorities use
// one scale: a time-sharing thread at nice n is at 31 - n (so 12 to 51), a real-time thread
// at 63 plus its real-time priority.
class OpenALThread final {
public:
    using ThreadRoutine = int (*)(void*);

    // The base priority is taken from the calling thread.
    OpenALThread(ThreadRoutine inThreadRoutine, void* inParameter, uint32_t inPriority, bool inFixedPriority,
                 bool inAutoDelete);
    OpenALThread(const OpenALThread&) = delete;
    OpenALThread& operator=(const OpenALThread&) = delete;

    // Stores the request and, when the thread runs, applies it: a fixed priority first leaves
    // time-sharing (SCHED_RR), then the importance (requested minus base priority) is applied
    // as a nice value or real-time priority. Linux lets an unprivileged thread raise itself
    // only as far as RLIMIT_NICE or RLIMIT_RTPRIO allow: a refused request is printed and the
    // best allowed level taken instead.
    void SetPriority(uint32_t inPriority, bool inFixedPriority);

    // Creates the detached thread. 0 on success; otherwise the error, also printed. An
    // auto-deleting object whose thread could not be made deletes itself here, as no
    // thread will.
    int Start();

    void SetThreadParameter(void* inParameter) { mThreadParameter = inParameter; }
    bool IsRunning() const { return mThread.load() != 0; }
    int GetDefaultPriority() const { return mDefaultPriority; }

    // Runs on the new thread: applies the priority, runs the routine, then lets go of the
    // object (deleting it when asked to). Returns the routine's result.
    static int Entry(OpenALThread* inThread);

    // The base priority of a thread on the scale above; 0 for a null handle or a policy
    // outside it. inSelector is kept for callers that pass 0.
    static int getScheduledPriority(pthread_t inThread, int inSelector);

private:
    void Finish();

    std::atomic<pthread_t> mThread{0};
    int mDefaultPriority{0};
    ThreadRoutine mThreadRoutine{nullptr};
    void* mThreadParameter{nullptr};
    uint32_t mPriority{0};
    bool mFixedPriority{false};
    bool mAutoDelete{false};

    // Linux applies nice values by kernel thread id, which a pthread handle does not tell.
    std::atomic<pid_t> mKernelThreadID{0};
    // Start and the thread's end race for the last word on the object: whichever comes
    // second clears the handle and, when asked to, deletes the object. Without this a
    // thread that ends at once would free the object while Start still writes to it.
    std::atomic<int> mHandoff{0};
};
