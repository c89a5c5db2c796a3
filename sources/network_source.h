// UTL_NetworkSource: what every source of people and friendships is to the host (start, a tick
// per frame, the status line, teardown), the scene calls it feeds (UTL_AcquisitionTarget), and
// the options every source shares (waits after failures, giving up, the clock).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class UTL_SimCtrlNimbra;

// What a source calls on the scene model: the controller in the application, a recorder in
// tests. Main thread only.
class UTL_AcquisitionTarget {
public:
    virtual ~UTL_AcquisitionTarget() = default;
    virtual void add_myself(const char* uid, const char* name, const char* pic,
                            const char* pic_square) = 0;
    virtual void add_friend(const char* uid, const char* name, const char* pic,
                            const char* pic_square) = 0;
    virtual void create_friends_locators() = 0;
    virtual void add_connections_for_myself() = 0;
    virtual void add_connection(const char* uid1, const char* uid2, float alpha,
                                bool highlighted) = 0;
    virtual int friend_count() const = 0;
    virtual const char* get_friend_id(int i) const = 0;
};

// The controller as a target.
class UTL_ControllerTarget : public UTL_AcquisitionTarget {
public:
    explicit UTL_ControllerTarget(UTL_SimCtrlNimbra* controller) : m_controller(controller) {}
    void add_myself(const char* uid, const char* name, const char* pic,
                    const char* pic_square) override;
    void add_friend(const char* uid, const char* name, const char* pic,
                    const char* pic_square) override;
    void create_friends_locators() override;
    void add_connections_for_myself() override;
    void add_connection(const char* uid1, const char* uid2, float alpha, bool highlighted) override;
    int friend_count() const override;
    const char* get_friend_id(int i) const override;

private:
    UTL_SimCtrlNimbra* m_controller;  // borrowed
};

// The clock that paces requests and times the waits after a failure.
using UTL_AcquisitionClock = std::function<std::chrono::steady_clock::time_point()>;

// The options every source has: how it waits after failures, when it gives up, what it says.
struct UTL_SourceOptions {
    // The wait before a failed request is asked again; it doubles with every failure in a row
    // up to the maximum, and starts again from the first once the far side answers.
    int m_retry_delay_ms = 1000;
    int m_max_retry_delay_ms = 60000;
    // Failures in a row after which the source gives up for good; 0 never gives up (the
    // window: a person can wait for the service to come back and sees why it does not).
    int m_give_up_after = 0;
    long m_total_timeout_s = 60;
    // Prints each new state of the status line on standard error (offscreen runs).
    bool m_print_status = false;
    // steady_clock when empty; tests move a clock of their own through the waits.
    UTL_AcquisitionClock m_clock;
};

// A source of the network shown on the globe. Owned by the host; main thread only. The host
// calls start() once when it is ready for people, tick() once per frame before the controller's
// update, and shutdown() before the controller goes.
class UTL_NetworkSource {
public:
    using TitleCallback = std::function<void(const std::string&)>;

    virtual ~UTL_NetworkSource();
    UTL_NetworkSource(const UTL_NetworkSource&) = delete;
    UTL_NetworkSource& operator=(const UTL_NetworkSource&) = delete;

    // The controller the answers go to, for a host that starts the source before its
    // controller exists (borrowed; answers wait in tick() until then).
    void set_controller(UTL_SimCtrlNimbra* controller);
    // Any other target (borrowed).
    void set_target(UTL_AcquisitionTarget* target);

    // Begins fetching. False with a reason in error when the source cannot be used at all
    // (a graph file that cannot be read, a service that cannot be started); the globe then
    // stays empty.
    virtual bool start(std::string& error) = 0;
    // Per frame: hands over what has arrived, sends what is due, updates the status.
    virtual void tick() = 0;
    // While a frame is being drawn (the main thread waiting on the renderer): takes the answers
    // that have arrived, at most max of them, and sends what is due, without touching the
    // scene; what they bring reaches it at the next tick(). So the network arrives as fast as
    // the far side answers, however long a frame takes. Nothing by default.
    virtual void tick_while_drawing(int max) { (void)max; }
    // Everything is in, or the source has given up: nothing more will change.
    virtual bool finished() const = 0;
    // The line over the scene: what is happening now, "" once everything is in.
    virtual std::string status_text() const = 0;
    // Why nothing or not everything arrived: the failure, or the step still waited for.
    virtual std::string failure_text() const = 0;
    // Stops the workers: no answer arrives after it. Also run by the destructor.
    virtual void shutdown() = 0;

    // Whether its people may name photos by local paths (they come from this machine), and
    // the address prefix of photos that are made afresh on every start ("" for none).
    virtual bool local_photos() const { return false; }
    virtual std::string fresh_photos() const { return ""; }

    // "Everything is in: 1,045 friends and 26,750 friendships among them", the offscreen run's
    // last line, with a remark in brackets when there is one.
    static std::string everything_in_text(unsigned long long friends,
                                          unsigned long long friendships,
                                          const std::string& remark);
    // (1, "friend") -> "1 friend", (1045, "friend") -> "1,045 friends".
    static std::string counted(unsigned long long n, const std::string& noun);

protected:
    UTL_NetworkSource(UTL_AcquisitionTarget* target, TitleCallback title);
    explicit UTL_NetworkSource(UTL_SimCtrlNimbra* controller, TitleCallback title);

    UTL_AcquisitionTarget* m_target;  // borrowed, or m_own_target
    TitleCallback m_title;

private:
    std::unique_ptr<UTL_AcquisitionTarget> m_own_target;  // the controller's adapter
};
