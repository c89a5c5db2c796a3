// GFX_Friend: one person on the globe (the user or a friend): user id, display name and the two
// photos, the large one and the square one.
#pragma once

#include <string>

class GFX_Foto;
class UTL_SimCtrlNimbra;

// Owned by the controller (its user and its friend list); locators, lines and dock thumbnails
// only borrow it.
class GFX_Friend {
public:
    explicit GFX_Friend(UTL_SimCtrlNimbra* controller);
    virtual ~GFX_Friend();
    GFX_Friend(const GFX_Friend&) = delete;
    GFX_Friend& operator=(const GFX_Friend&) = delete;

    // The longest side of the square photo's texture. It is drawn on the globe's billboards,
    // the docks, the search list and the card, none of them wider than this on screen; decoded
    // no larger, 5,000 avatars of 1,000 pixels a side take 320 MB instead of 20 GB.
    static constexpr unsigned k_square_side = 128;

    // Replace the photo with a new one of that address (null counts as empty). Nothing is
    // downloaded until the photo is first asked for its texture.
    void load_foto(const char* url);
    void load_foto_square(const char* url);
    // Deletes both photos.
    void clear();

    UTL_SimCtrlNimbra* m_controller;  // Borrowed.
    std::string m_uid;
    std::string m_name;
    GFX_Foto* m_foto = nullptr;         // Owned.
    bool m_has_foto = true;             // false: m_foto is the question-mark placeholder
    GFX_Foto* m_foto_square = nullptr;  // Owned.
    bool m_has_foto_square = true;
    // The person's number in the controller's friend graph; -1 for the user, who is not in it.
    int m_person = -1;
    // The person's circle: an index into the controller's circles, -1 while none is known (and
    // always for the user).
    int m_circle = -1;
};
