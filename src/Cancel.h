#ifndef CANCEL_H
#define CANCEL_H

#include <atomic>

// A stop button for the drawing a job runs: pressed from any thread, it ends at once the helper
// process that draws for the job's thread, and any it would start later.
class Cancel
{
public:
    Cancel();
    ~Cancel();
    Cancel(const Cancel &) = delete;
    Cancel &operator=(const Cancel &) = delete;

    void cancel();
    bool cancelled() const { return stopped; }
    // A descriptor that becomes readable once cancelled, for poll; -1 when none could be made.
    int fd() const { return event; }

    // While a Scope lives, the drawings its thread runs answer to CANCEL (which may be null).
    class Scope
    {
    public:
        explicit Scope(const Cancel *cancel);
        ~Scope();

    private:
        const Cancel *outer;
    };
    // The Cancel the calling thread's drawings answer to, or null.
    static const Cancel *current();

private:
    std::atomic<bool> stopped{false};
    int event;
};

#endif
