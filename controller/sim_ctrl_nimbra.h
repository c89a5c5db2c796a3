// UTL_SimCtrlNimbra: the application controller. Holds the whole friend globe (people,
// locators, friendship lines, textures, the shared ball mesh, the overlay controls, the colour
// themes and the photo downloader) and runs one frame per timer tick.
//   sim_ctrl_nimbra.cpp         construction, destruction, the friend-graph model and layout
//   sim_ctrl_nimbra_frame.cpp   start, the frame, drawing order, picking, drag/flick/click
//   sim_ctrl_nimbra_glow.cpp    the glow of the lines: budgeted while moving, whole at rest
//   sim_ctrl_nimbra_overlay.cpp the overlay controls: creation, input routing, drawing
//   sim_ctrl_nimbra_find.cpp    finding people: keys, wheel, search, hover label, help
//   sim_ctrl_nimbra_circles.cpp the circles: the friend graph, the layouts and their glides
//   sim_ctrl_nimbra_card.cpp    the card of the selected person and the chain between two
#pragma once

#include "controller/color_theme.h"
#include "controller/sim_ctrl_root.h"
#include "gfx/ogl_ball_impostor.h"
#include "gfx/math.h"
#include "gfx/ogl_draw_throttle.h"
#include "gfx/ogl_depth_tiles.h"
#include "gfx/ogl_render_target.h"
#include "photos/foto_settings.h"
#include "scene/location_holder.h"
#include "scene/glow.h"
#include "service/circles.h"
#include "service/friend_graph.h"
#include "util/name_index.h"
#include "widgets/status_line.h"
#include "widgets/widget.h"

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class GFX_Text;
class GFX_GlyphAtlas;
class OGL_Texture;
class GFX_WidgetNavigationDial;
class GFX_WidgetRoundButton;
class GFX_Dock;
class GFX_WidgetDocked;
class GFX_ColorBall;
class GFX_SphereButton;
class GFX_LocationHolder;
class GFX_LocationHolderFriend;
class GFX_Friend;
class GFX_Connection;
class GFX_DotBatch;
class GFX_DotSprites;
class GFX_SearchField;
class GFX_HelpPanel;
class GFX_HoverLabel;
class GFX_CircleLegend;
class GFX_PersonCard;
class UTL_FotoTextureBoss;
class UTL_ParameterList;
class UTL_CircleWorker;
struct UTL_CircleResult;

// Main thread only, like its root. Scene objects and widgets borrow the controller and reach
// the theme, the textures, the font, the ball mesh and the photo downloader through it.
class UTL_SimCtrlNimbra : public UTL_SimCtrlRoot {
public:
    UTL_SimCtrlNimbra();
    ~UTL_SimCtrlNimbra() override;

    // --- Friend-graph model (sim_ctrl_nimbra.cpp) -----------------------------------------
    // A null or empty picture address shows the question-mark image instead.
    void add_myself(const char* uid, const char* name, const char* pic, const char* pic_square);
    // Appends a friend; the caller lays out with create_friends_locators() afterwards.
    void add_friend(const char* uid, const char* name, const char* pic, const char* pic_square);
    void add_connection(const char* uid1, const char* uid2, float alpha, bool highlighted);
    // A highlighted line from the user to every friend.
    void add_connections_for_myself();
    // The uid of friend i of m_friends; "" when i is out of range.
    const char* get_friend_id(int i) const;
    // Writes the locators of the two uids through out1 and out2; an output with no match is
    // left unchanged.
    void find_locators(const char* uid1, const char* uid2, GFX_LocationHolderFriend** out1,
                       GFX_LocationHolderFriend** out2);
    float get_radius() const;
    // The point of the globe at a longitude and latitude in degrees (+y north, lon 0 along +x).
    Math_Vector3 compute_position(float longitude, float latitude) const;
    // The frames' sizes: the selected person's, a person's under the pointer, and everyone
    // else's, which shrinks with the spacing of people on the globe once they are many.
    static constexpr float kSelectedBillboard = 2250.0f;
    static constexpr float kFullBillboard = 750.0f;
    static constexpr size_t kCrowd = 300;  // people up to which every frame has the full size
    float billboard_size() const;
    // Every frame: the selected person's frame large, the one under the pointer full size, the
    // others billboard_size(). Done once a frame, after the pointer is known.
    void update_billboard_sizes();
    // Lays everyone out again on a golden-angle spiral, reusing the existing locators. Arranged
    // by circles, only newcomers take their place on the spiral; the next arrangement moves them.
    void create_friends_locators();
    // The longitudes and latitudes of the golden-angle spiral of n places, pole to pole: place i
    // is where create_friends_locators puts locator i.
    static void spiral_places(size_t n, std::vector<float>& longitudes,
                              std::vector<float>& latitudes);
    void clear_connections();
    void clear_scene();

    // --- Start and frame (sim_ctrl_nimbra_frame.cpp) ---------------------------------------
    void start(int w, int h) override;
    void update(int w, int h, float dt) override;
    void init_scene();
    void enable_fog();
    void rotate_camera(float yaw, float pitch);
    void select_loc_holder(GFX_LocationHolder* h);
    void set_connections_highlighted(bool on);
    void update_impostor_orientation();
    void set_impostor_orientation(const Math_Vector3& up, const Math_Vector3& right);

    void draw();
    void draw_locators();
    // The locators the last draw_locators() found in view, with their photos; kept to spare
    // the allocations.
    std::vector<GFX_LocationHolder*> m_shown_holders;
    std::vector<std::pair<GFX_LocationHolderFriend*, GFX_LocationHolderFriend::PhotoQuad>>
        m_shown_photos;
    // Small balls as quads showing one picture of a ball; false: every ball a mesh, for
    // comparison. m_small_balls: those the last frame drew so.
    bool m_ball_impostors = true;
    // Glow dots hidden behind the people are left out; false: every dot goes to the renderer,
    // for comparison.
    bool m_glow_occlusion = true;
    std::vector<const GFX_LocationHolder*> m_small_balls;
    void release_unused_photos();
    double m_photos_checked_at = 0.0;
    void draw_glow();
    // Draws the shared ball mesh at position, scaled by size / 125 (at least 0.01).
    void draw_ball(Math_Vector3& position, Math_Vector3& color, float size);
    // Screen pixels per world unit at a point, from the camera's distance to it (0 before the
    // first frame).
    float pixels_per_unit(const Math_Vector3& p) const;
    // False when nothing within radius of p can show in this frame's view (true before the
    // first camera).
    bool in_view(const Math_Vector3& p, float radius) const;
    // Photos not drawn for this long are released (negative: never); how many were so far.
    double m_photo_idle_seconds = 60.0;
    size_t m_photos_released = 0;
    // The colour of a point of the globe: 0.5 + 0.75 * p / radius per component, in [0, 1].
    void position_to_color(Math_Vector3& position, Math_Vector3& color);

    // Input: recorded here, acted on by the next update.
    void mouse_moved(int x, int y, int a, int b, unsigned int state) override;
    void mouse_down(int x, int y, unsigned int flags) override;
    void mouse_up(int x, int y, unsigned int flags) override;
    void mouse_dbl_clk(int x, int y, unsigned int flags) override;
    // Stores the pick ray and applies one drag step.
    void mouse_move(const Math_Vector3& window, const Math_Vector3& origin,
                    const Math_Vector3& dir);
    // The release on the scene: a flick or a pick.
    void mouse_up();

    // Each replaces its field with a new texture read from path.
    void load_nimbra_texture(const char* path);
    void load_korvel_texture(const char* path);
    void load_sphere_button_tex();
    void load_billboard_texture(const char* path);
    void load_color_ball_texture(const char* path);
    void load_widget_texture(const char* path);
    void load_top_bar_texture(const char* path);
    void load_locator_texture(const char* path);

    // --- Colour themes -----------------------------------------------------------------------
    void read_themes();
    void read_themes(UTL_ParameterList* list);

    // --- Overlay controls (sim_ctrl_nimbra_overlay.cpp) -------------------------------------
    void create_text();
    void create_sphere_button();
    void create_docks();
    void create_navigation_widgets();
    void create_rotate_buttons();
    void delete_rotate_buttons();
    void delete_navigation_widgets();
    void delete_docks();
    void add_myself_button();
    void add_friend_button(GFX_Friend* f);
    bool mouse_move_buttons(float x, float y);
    void update_buttons(float dt);
    void update_navigation_widgets(float dt);
    // True when a control took the press; every press stops the automatic motion first.
    bool mouse_down_buttons(float x, float y);
    bool mouse_up_buttons(float x, float y);
    void draw_buttons();
    void draw_top_bar();
    void draw_sphere_button();
    // Lights rotate button index (0 to 2) for a mode started by the idle timer or a flick.
    void activate_rotate_button(int index);
    // The dock side of a selection: the thumbnails of h's person become selected, all others
    // not, and the list dock scrolls to it.
    void select_dock_friend(GFX_LocationHolder* h);
    // Deletes every thumbnail of both docks (they borrow the people clear_scene deletes).
    void clear_dock_thumbnails();

    // --- Circles (sim_ctrl_nimbra_circles.cpp) ---------------------------------------------
    // How people are placed: in the order they arrived, or arranged by circles.
    enum Layout { LAYOUT_ARRIVAL, LAYOUT_CIRCLES };
    static constexpr float kGlideSeconds = 1.0f;    // a change of places takes this long
    static constexpr float kCircleInterval = 1.0f;  // at most one search a second while loading
    // People glide to their places in the other layout (arrival: the spiral at once; circles:
    // as soon as the arrangement is found, off the main thread).
    void set_layout(Layout layout);
    Layout layout() const { return m_layout; }
    // Per frame: what the circle worker found is taken (circles, and in circles mode the new
    // places people glide to), the worker is asked again when the graph has changed (at most
    // once a second unless the layout was just switched), and the glides move on by dt.
    void update_circles(float dt);
    // A person is on the way to a new place.
    bool people_gliding() const;
    // Nothing left to do: the circles are those of the graph as it is now, the worker is idle
    // and (arranged by circles) everyone has arrived at their place.
    bool circles_settled() const;
    // The circles found last, largest first; a friend's is GFX_Friend::m_circle.
    const UTL_Circles& circles() const { return m_circles; }
    // "Maya Lindqvist's circle", after its best-connected member, or "No friends in common";
    // empty for an index out of range.
    std::string circle_name(int circle) const;
    // A circle's own hue, readable on the theme's background; the circle of the people alone
    // and an index out of range give a grey.
    Math_Vector3 circle_color(int circle) const;
    // The colour of a ball: its place on the globe, or its circle's hue when arranged by
    // circles (brighter while the legend points at that circle).
    void locator_color(const GFX_LocationHolder* h, Math_Vector3& color);
    // The colour of a locator's frame: left as it is (the theme's) in arrival order, the hue of
    // the person's circle when arranged by circles.
    void frame_color(const GFX_LocationHolder* h, Math_Vector3& color);
    // The person of a number of the friend graph; null when there is none.
    GFX_Friend* graph_person(int person) const;
    // The camera glides to look at the middle of a circle (where its people are going).
    void glide_to_circle(int circle);
    void create_circle_widgets();
    void delete_circle_widgets();
    // The legend sees the pointer before the other controls (after the search box); true when
    // it takes the event.
    bool mouse_move_circles(float x, float y);
    bool mouse_down_circles(float x, float y);
    bool mouse_up_circles(float x, float y);
    void draw_circle_overlay();

    // --- The person card and the chain (sim_ctrl_nimbra_card.cpp) --------------------------
    // A person's friends among the user's friends, by name; for the user, every friend.
    std::vector<GFX_Friend*> common_friends(const GFX_Friend* f) const;
    // The shortest chain of friends from one person to another that does not pass through the
    // user (a chain with the user at one end is the user's own line). Its lines light up (and
    // no others), the card lists it, or says there is none, and the camera glides to the last
    // person; the selection stays. False when no chain joins them.
    bool show_chain(GFX_Friend* from, GFX_Friend* to);
    // Per frame: the card follows the selected person and the friendships that arrive.
    void update_card();
    bool mouse_down_card(float x, float y);
    void press_outside_card(float x, float y);
    bool mouse_up_card(float x, float y);
    // True when the card's filter has the keys and took this one.
    bool key_card(unsigned int key, bool special);
    void draw_card();
    void create_card();
    void delete_card();

    // --- Finding people (sim_ctrl_nimbra_find.cpp) -----------------------------------------
    // Keys and wheel steps are recorded like the mouse and acted on by the next update, in the
    // order they came. flags: KEY_SPECIAL for the arrows and function keys.
    void key_down(unsigned int key, unsigned int flags) override;
    // Steps of the mouse wheel, positive away from the user: the camera comes closer (over the
    // list dock, the list scrolls instead).
    void mouse_wheel(float steps);
    // Selects a person exactly as a click on their locator does; a person without a locator
    // yet is selected in the docks only.
    void select_friend(GFX_Friend* f);
    // The person of the selected locator, else of the selected thumbnail (list dock first);
    // null when nobody is selected.
    GFX_Friend* selected_friend() const;
    // At most max people with a word of their name starting with text (case and accents
    // ignored), best first.
    std::vector<GFX_Friend*> find_people(const std::string& text, size_t max);
    // The nearest locator under the pointer's ray within the pick range, as a click picks it;
    // null when none is hit.
    GFX_LocationHolder* pick_loc_holder();
    void create_find_widgets();
    void delete_find_widgets();
    // Frame steps, in this order: the recorded keys and wheel, the camera's key and zoom
    // motions, and (after the mouse) the hover label.
    void update_find_input();
    void update_camera_keys();
    void update_hover(float dt);
    // The search box and the help panel see the pointer before the other controls; true when
    // they take the event.
    bool mouse_move_find(float x, float y);
    bool mouse_down_find(float x, float y);
    bool mouse_up_find(float x, float y);
    // Last in the overlay pass: the search box, the hover label, the help panel.
    void draw_find_overlay();

    // The page a click on the maker logo opens, relative to the resource folder.
    static constexpr const char* ABOUT_PAGE = "./data/about.html";
    // Opens a page in the desktop's viewer. Set by the host, which may make platform calls;
    // empty (the default) opens nothing. Called on the main thread, must not block.
    std::function<void(const std::string&)> m_open_url;
    // Work that must not touch the scene, done while the renderer draws a frame (the network's
    // answers, say), in slices of a few milliseconds. Set by the host; main thread.
    std::function<void()> m_while_drawing;
    // Waits until the renderer has drawn the frame (as glFinish), doing m_while_drawing
    // meanwhile. The host calls it after update().
    void finish_frame();

    // --- Fields ------------------------------------------------------------------------------
    int m_rotate_mode = 0;  // 0 idle, 1 azimuth decreasing, 2 increasing, 3 random jumps
    float m_rotate_timer = 0.0f;
    bool m_has_fog_distance = false;
    Math_Vector3 m_impostor_up;
    Math_Vector3 m_impostor_right;
    GFX_Text* m_text = nullptr;  // the fixed ASCII sheet; names draw with it without an atlas
    GFX_GlyphAtlas* m_glyph_atlas = nullptr;  // owned; names, labels and the search in any script
    OGL_Texture* m_korvel_texture = nullptr;
    bool m_top_bar_highlighted = false;
    OGL_Texture* m_nimbra_texture = nullptr;
    bool m_mouse_down_event = false;
    bool m_mouse_up_event = false;
    bool m_mouse_dbl_clk_event = false;
    UTL_Point m_mouse;
    float m_drag_last_x = 0.0f;
    float m_drag_last_y = 0.0f;
    bool m_dragging = false;
    bool m_drag_moved = false;
    float m_drag_yaw_step = 0.0f;
    float m_drag_pitch_step = 0.0f;
    GFX_WidgetScreen m_widget_screen;
    GFX_WidgetNavigationDial* m_nav_dial = nullptr;
    std::vector<GFX_WidgetRoundButton*> m_rotate_buttons;  // index k starts mode k + 1
    // Beside the rotate buttons: switches between the layouts, lit while arranged by circles.
    // Made and deleted with the rotate buttons.
    GFX_WidgetRoundButton* m_circles_button = nullptr;
    OGL_Texture* m_billboard_texture = nullptr;
    OGL_Texture* m_locator_texture = nullptr;
    OGL_Texture* m_color_ball_texture = nullptr;
    GFX_ColorBall* m_color_ball = nullptr;
    OGL_Texture* m_widget_texture = nullptr;
    OGL_Texture* m_top_bar_texture = nullptr;
    Math_Vector3 m_ray_origin;
    Math_Vector3 m_ray_dir;
    Math_Vector3 m_mouse_window;
    std::vector<GFX_LocationHolder*> m_loc_holders;  // index 0 the user when known
    std::vector<GFX_Friend*> m_friends;              // arrival order, without the user
    GFX_Friend* m_myself = nullptr;
    bool m_cam_transition = false;
    float m_cam_target_lr = 0.0f;
    float m_cam_target_ud = 0.0f;
    std::vector<GFX_Connection*> m_connections;
    // How the lines' glow is drawn (draw_glow):
    //   GLOW_AUTO    while the camera moves or the lines change, a budget of dots spent where
    //                the eye looks (GFX_GlowPlan); at rest every dot. Point sprites streamed
    //                each frame; quads where the driver has no sprites.
    //   GLOW_SPRITES every dot of every line every frame, as point sprites kept in vertex
    //                buffers (quads where the driver has no sprites);
    //   GLOW_QUADS   every dot every frame as quads.
    // start() takes NIMBRA_GLOW=sprites or NIMBRA_GLOW=quads from the environment.
    enum GlowPath { GLOW_AUTO, GLOW_QUADS, GLOW_SPRITES };
    GlowPath m_glow_path = GLOW_AUTO;
    bool m_glow_drew_sprites = false;  // the last glow pass drew point sprites
    bool m_glow_drew_budget = false;   // the last glow pass drew a budget of dots
    bool m_glow_drew_coarse = false;   // ... of them thinned, at half the resolution
    bool m_glow_drew_whole = false;    // the picture of the last frame held every dot of every line
    std::unique_ptr<GFX_DotBatch> m_glow_batch;      // the quads' arrays, made on first use
    std::unique_ptr<GFX_DotSprites> m_glow_sprites;  // the sprites' buffers, made on first use
    std::unique_ptr<GFX_GlowPlan> m_glow_plan;       // GLOW_AUTO's dots, made on first use
    GFX_GlowBudget m_glow_budget;                    // start() chooses it for the renderer
    // Keeps a software renderer from queueing all of a frame's balls and dots at once.
    OGL_DrawThrottle m_draw_throttle;
    GFX_LocationHolder* m_selected_holder = nullptr;  // borrowed from m_loc_holders
    GFX_SphereButton* m_sphere_button = nullptr;
    OGL_Texture* m_sphere_button_texture = nullptr;
    UTL_ColorTheme m_color_theme;
    std::vector<UTL_ColorTheme> m_color_themes;
    GFX_Dock* m_myself_dock = nullptr;
    GFX_Dock* m_list_dock = nullptr;
    UTL_FotoTextureBoss* m_foto_texture_boss = nullptr;
    // How the photo texture manager made by start() works: set by the host before start(),
    // which alone knows whether the people's source is local and whether a cache is wanted.
    UTL_FotoSettings m_foto_settings;
    struct KeyEvent {
        unsigned int key;
        unsigned int flags;
    };
    std::vector<KeyEvent> m_key_events;  // recorded since the last update
    float m_wheel_steps = 0.0f;          // recorded since the last update
    float m_zoom_target = 0.0f;  // the distance the camera eases towards; 0 while not zooming
    float m_turn_left = 0.0f;    // degrees of azimuth the arrow keys still have to turn
    float m_tilt_left = 0.0f;    // degrees of elevation
    GFX_SearchField* m_search_field = nullptr;  // owned
    GFX_HelpPanel* m_help_panel = nullptr;      // owned
    GFX_HoverLabel* m_hover_label = nullptr;    // owned
    // The locator under the pointer, as a click would pick it; null when none. Set every frame.
    GFX_LocationHolder* m_pointed_holder = nullptr;
    // NIMBRA_BILLBOARDS=fixed keeps every frame at the full size however many people there
    // are, to compare (start() reads it).
    bool m_fixed_billboards = false;
    // The names of m_name_index_people (borrowed: the user, then the friends in order),
    // brought up to date when a search needs it.
    UTL_NameIndex m_name_index;
    std::vector<GFX_Friend*> m_name_index_people;

    // Users replaced by a repeated add_myself. Dock thumbnails may still borrow them, so they
    // stay alive until clear_scene().
    std::vector<GFX_Friend*> m_retired_friends;
    // Bumped whenever a locator may show another person (a layout, a new user, clearing), so
    // find_locators() knows its index by uid is stale.
    unsigned m_layout_version = 0;
    // What the program waits for, over the scene in the top bar; the host sets its text.
    GFX_StatusLine m_status_line;

    // The circles. The friend graph holds the friends (not the user) and their friendships as
    // they arrive; pairs naming someone not yet known wait in m_pending_pairs.
    Layout m_layout = LAYOUT_ARRIVAL;
    UTL_FriendGraph m_friend_graph;
    std::vector<GFX_Friend*> m_graph_people;  // borrowed: the person of each graph number
    std::vector<std::pair<std::string, std::string>> m_pending_pairs;
    UTL_Circles m_circles;
    int m_hover_circle = -1;  // the circle the legend points at; -1 for none
    int m_circle_jobs = 0;    // jobs given to the circle worker, for tests and figures
    GFX_CircleLegend* m_circle_legend = nullptr;  // owned
    GFX_PersonCard* m_person_card = nullptr;      // owned
    // The chain last asked for: its people (borrowed), empty when none joins them; shown until
    // the selection changes.
    std::vector<GFX_Friend*> m_chain;
    bool m_chain_shown = false;
    bool m_mouse_up_shift = false;     // the release waiting for the next frame had Shift held
    std::uint64_t m_card_version = 0;  // the friend graph's version the card was filled from

private:
    // The locators by their person's uid (the first locator of a uid wins, as a walk would
    // find it), rebuilt by find_locators() when m_layout_version has moved: every line looks
    // its ends up once, and a hundred thousand lines must not each walk every locator.
    std::unordered_map<std::string, GFX_LocationHolderFriend*> m_locators_by_uid;
    unsigned m_locators_by_uid_version = ~0u;
    // Steps 6 and 7 of the frame: the automatic motion and the glide towards a selection.
    void update_rotation(float dt);
    void update_glide();
    // The shared ball at a level of detail: 0 the ball itself, 1 and 2 coarser ones for balls a
    // few pixels wide. Each is compiled once into a display list (balls are many and small:
    // sent vertex by vertex they cost a software renderer more than their pixels).
    void draw_ball_mesh(int level);
    void release_ball_meshes();
    // The scale of the ball mesh for a ball of that size, and the level of detail it shows at
    // position; false for a ball that cannot be drawn (a position not finite).
    bool ball_scale_and_level(const Math_Vector3& position, float size, float& scale,
                              int& level) const;
    // The balls of the locators in view: the smallest as quads showing one picture of a ball
    // (m_ball_impostor), the rest as meshes.
    void draw_balls(const std::vector<GFX_LocationHolder*>& holders);
    OGL_BallImpostor m_ball_impostor;
    static constexpr int kBallLevels = 3;
    std::unique_ptr<GFX_ColorBall> m_coarse_balls[kBallLevels];  // [0] unused: m_color_ball
    unsigned m_ball_lists[kBallLevels] = {0, 0, 0};              // display list names, 0: none
    // The glow's ways; the sprites answer false when they cannot draw this frame.
    bool draw_glow_budgeted();
    bool draw_glow_sprites();
    void draw_glow_quads();
    // Whether the frame's dots can be point sprites, and if so what a unit spans on screen and
    // how far outside the window dots must still be drawn.
    bool glow_sprite_view(float& pixels_per_unit, int& margin);
    // The camera and viewport the glow was last drawn under, and whether it moved since.
    bool glow_view_moved();
    bool m_glow_sprites_failed = false;   // the driver lacks them or could not hold the buffers
    std::array<float, 36> m_glow_view{};  // model-view, projection, viewport of the last glow
    UTL_ColorTheme m_glow_theme;          // the theme the last glow was drawn in
    std::chrono::steady_clock::time_point m_glow_frame_start{};  // of the frame before
    bool m_glow_budget_frame = false;  // the frame before drew a budget: its time teaches it
    // At rest the glow's every dot is drawn a piece per frame into a layer the size of the
    // window, laid over the locators each frame; the cursor says how far it has come.
    std::unique_ptr<OGL_RenderTarget> m_glow_layer;
    bool m_glow_layer_failed = false;   // the driver has no layer to give
    bool m_glow_layer_started = false;  // the layer was cleared for the current picture
    OGL_DepthTiles m_glow_layer_depth;  // the window's depth it is drawn against
    GFX_GlowPlan::Cursor m_glow_cursor;
    size_t m_glow_layer_lines = 0;           // lines the current picture knows of
    long long m_glow_layer_highlighted = 0;  // dots of its highlighted lines
    // While moving, the faint dots of the budget go into a layer of a lower resolution
    // (draw_glow_moving; false when the driver has none to give).
    std::unique_ptr<OGL_RenderTarget> m_glow_moving_layer;
    // The window's depth under the glow, read each frame of GLOW_AUTO: dots it hides are not
    // drawn (m_glow_occlusion false: every dot goes to the renderer, to compare).
    std::unique_ptr<OGL_DepthTiles> m_glow_depth;
    bool m_glow_software = true;      // start(): the renderer draws in software
    double m_glow_shown_share = 1.0;  // of the dots the last moving plan looked at, those shown
    bool m_glow_moving_failed = false;
    bool draw_glow_moving(float pixels_per_unit, int margin);
    // target made (once) and sized to cover the viewport at 1/shrink of its resolution; null,
    // with failed set for good, when the driver cannot give it.
    OGL_RenderTarget* glow_target(std::unique_ptr<OGL_RenderTarget>& target, bool& failed,
                                  const GLint viewport[4], int shrink);
    // The glow at rest: the next piece into the layer, the layer over the window, and what is
    // still missing, thinned, over it. False when there is no layer.
    bool draw_glow_layer(const GFX_GlowPlan::Camera& camera, float pixels_per_unit, int margin);
    // Every dot at once, in pieces, in this frame.
    void draw_glow_whole(const GFX_GlowPlan::Camera& camera, float pixels_per_unit, int margin);
    // The selection a click on a dock thumbnail makes.
    void select_thumbnail(GFX_WidgetDocked* clicked);
    // What one key does: to the help panel, the search box or the globe.
    void handle_key(unsigned int key, unsigned int flags);
    void handle_search_key(unsigned int key, unsigned int flags);
    // Every press and most keys stop the automatic motion.
    void stop_automatic_motion();
    void zoom(float steps);
    void refresh_search();
    // The person of the dock thumbnail under (x, y); null when none.
    GFX_Friend* thumbnail_friend_at(float x, float y) const;
    // Circles: the worker's result taken in, a job made, everyone's place by layout.
    void take_circles(UTL_CircleResult& result);
    void ask_for_circles(bool arrange);
    void glide_to_places(const std::vector<int>& place_of);
    void follow_selection();
    // The lines [from, end) shade from one end's circle to the other's (arranged by circles) or
    // take the colour of their place again (arrival order).
    void recolour_lines(size_t from = 0);
    size_t m_coloured_lines = 0;  // lines recoloured so far
    void resolve_pending_pairs();
    std::unique_ptr<UTL_CircleWorker> m_circle_worker;  // made with the first job
    float m_circle_clock = 1e9f;                        // seconds since the last job
    bool m_circle_hurry = false;  // the layout was switched: no waiting for the interval
    // What the last job was given: the graph's version, the number of places, whether it was
    // to arrange.
    std::uint64_t m_asked_version = 0;
    size_t m_asked_places = 0;
    bool m_asked_arrange = false;
    bool m_asked = false;
    size_t m_resolved_people = 0;  // people known when the pending pairs were last tried
    // The last arrangement found: the place of each person of the graph, for the graph's
    // version and the number of places it was made for.
    std::vector<int> m_arranged;
    std::uint64_t m_arranged_version = 0;
    size_t m_arranged_places = 0;
};
