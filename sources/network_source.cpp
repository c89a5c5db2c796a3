// UTL_NetworkSource: the target every source feeds, the controller's adapter, and the texts
// every source's status line shares.
#include "sources/network_source.h"

#include "controller/sim_ctrl_nimbra.h"
#include "service/data_lines.h"

// --- The controller as a target -----------------------------------------------------------------

void UTL_ControllerTarget::add_myself(const char* uid, const char* name, const char* pic,
                                      const char* pic_square) {
    m_controller->add_myself(uid, name, pic, pic_square);
}

void UTL_ControllerTarget::add_friend(const char* uid, const char* name, const char* pic,
                                      const char* pic_square) {
    m_controller->add_friend(uid, name, pic, pic_square);
}

void UTL_ControllerTarget::create_friends_locators() { m_controller->create_friends_locators(); }

void UTL_ControllerTarget::add_connections_for_myself() {
    m_controller->add_connections_for_myself();
}

void UTL_ControllerTarget::add_connection(const char* uid1, const char* uid2, float alpha,
                                          bool highlighted) {
    m_controller->add_connection(uid1, uid2, alpha, highlighted);
}

int UTL_ControllerTarget::friend_count() const {
    return static_cast<int>(m_controller->m_friends.size());
}

const char* UTL_ControllerTarget::get_friend_id(int i) const {
    return m_controller->get_friend_id(i);
}

// --- The source ----------------------------------------------------------------------------------

UTL_NetworkSource::UTL_NetworkSource(UTL_AcquisitionTarget* target, TitleCallback title)
    : m_target(target), m_title(std::move(title)) {}

UTL_NetworkSource::UTL_NetworkSource(UTL_SimCtrlNimbra* controller, TitleCallback title)
    : m_target(nullptr), m_title(std::move(title)) {
    set_controller(controller);
}

UTL_NetworkSource::~UTL_NetworkSource() = default;

void UTL_NetworkSource::set_controller(UTL_SimCtrlNimbra* controller) {
    m_own_target.reset(controller ? new UTL_ControllerTarget(controller) : nullptr);
    m_target = m_own_target.get();
}

void UTL_NetworkSource::set_target(UTL_AcquisitionTarget* target) {
    m_own_target.reset();
    m_target = target;
}

std::string UTL_NetworkSource::counted(unsigned long long n, const std::string& noun) {
    return with_commas(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string UTL_NetworkSource::everything_in_text(unsigned long long friends,
                                                  unsigned long long friendships,
                                                  const std::string& remark) {
    return "Everything is in: " + counted(friends, "friend") + " and " +
           counted(friendships, "friendship") + " among them" +
           (remark.empty() ? "" : " (" + remark + ")");
}
