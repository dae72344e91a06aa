#include "json_lines.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "world/world.h"

namespace replay {

namespace {

// Small appenders: the draw lines of a long run are large, so no streams and no temporaries.
void put_int(std::string& out, int64_t value) {
    char buffer[24];
    auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)status;
    out.append(buffer, end);
}

void put_uint(std::string& out, uint64_t value) {
    char buffer[24];
    auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)status;
    out.append(buffer, end);
}

void put_bool(std::string& out, bool value) { out.append(value ? "true" : "false"); }

// Shortest text that reads back as the same float; whole values without a fraction.
void put_float(std::string& out, float value) {
    if (!std::isfinite(value)) {
        out.append("null");  // JSON has no infinities
        return;
    }
    if (value == std::trunc(value) && std::fabs(value) < 1e15f) {
        put_int(out, static_cast<int64_t>(value));
        return;
    }
#if defined(__cpp_lib_to_chars)
    char buffer[32];
    auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)status;
    out.append(buffer, end);
#else
    // The browser build's standard library has no float to_chars; this gives its answer: the
    // fewest significant digits that read back as the same float, in fixed or scientific form,
    // whichever is shorter (fixed on a tie).
    char scientific[32];
    int digits = 1;
    for (; digits < 9; ++digits) {
        std::snprintf(scientific, sizeof scientific, "%.*e", digits - 1, static_cast<double>(value));
        if (std::strtof(scientific, nullptr) == value) break;
    }
    std::snprintf(scientific, sizeof scientific, "%.*e", digits - 1, static_cast<double>(value));
    const int exponent = std::atoi(std::strchr(scientific, 'e') + 1);
    char fixed[64];
    const int decimals = digits - 1 - exponent > 0 ? digits - 1 - exponent : 0;
    std::snprintf(fixed, sizeof fixed, "%.*f", decimals, static_cast<double>(value));
    out.append(std::strlen(fixed) <= std::strlen(scientific) ? fixed : scientific);
#endif
}

void put_string(std::string& out, const char* text) {
    if (text == nullptr) {
        out.append("null");
        return;
    }
    out.push_back('"');
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            out.push_back('\\');
            out.push_back(*c);
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out.append(escaped);
        } else {
            out.push_back(*c);
        }
    }
    out.push_back('"');
}

void put_color(std::string& out, std::uint32_t argb) {
    char buffer[12];
    std::snprintf(buffer, sizeof buffer, "\"#%08X\"", static_cast<unsigned>(argb));
    out.append(buffer);
}

// ,"key": -- every member but an object's first.
void key(std::string& out, const char* name) {
    out.push_back(',');
    out.push_back('"');
    out.append(name);
    out.append("\":");
}

void field(std::string& out, const char* name, int64_t value) {
    key(out, name);
    put_int(out, value);
}

void flag(std::string& out, const char* name, bool value) {
    key(out, name);
    put_bool(out, value);
}

void number(std::string& out, const char* name, float value) {
    key(out, name);
    put_float(out, value);
}

// The live slots of a table in slot order, each as {"slot": N, ...its own fields}.
template <typename Record, typename Fields>
void put_live_slots(std::string& out, const char* name, const Record* slots, int count, Fields fields) {
    key(out, name);
    out.push_back('[');
    bool first = true;
    for (int slot = 0; slot < count; ++slot) {
        const Record& record = slots[slot];
        if (record.active == 0) continue;
        if (!first) out.push_back(',');
        first = false;
        out.append("{\"slot\":");
        put_int(out, slot);
        fields(record);
        out.push_back('}');
    }
    out.push_back(']');
}

void put_projectiles(std::string& out, const char* name, const Bullet* slots, int count) {
    put_live_slots(out, name, slots, count, [&out](const Bullet& b) {
        field(out, "x", b.x);
        field(out, "y", b.y);
        field(out, "vx", b.vx);
        field(out, "vy", b.vy);
    });
}

}  // namespace

void TextureNames::add(const void* texture, std::string name) {
    if (texture != nullptr) names_.emplace_back(texture, std::move(name));
}

void TextureNames::learn_from_world() {
    names_.clear();
    // The pointers are compared as the base interface the draw log records.
    auto base = [](IDirect3DTexture9* texture) -> const void* {
        return static_cast<const IDirect3DBaseTexture9*>(texture);
    };
    add(base(world.title_sprite.texture), "startscreen.bmp");
    for (int i = 0; i < STAGE_COUNT; ++i) add(base(world.stages[i].sprite.texture), "bg" + std::to_string(i) + ".tga");
    add(base(world.player_sprite.texture), "Player.tga");
    add(base(world.bullet_sprite.texture), "bullet.tga");
    add(base(world.crosshair_sprite.texture), "crosshair4.tga");
    add(base(world.rocket_sprite.texture), "rocket1.tga");
    add(base(world.rocket_crosshair_sprite.texture), "crosshair4.tga");
    add(base(world.explosion_sprite.texture), "explosion.tga");
    add(base(world.medkit_sprite.texture), "medkit.tga");
    static const char* const enemy_files[ENEMY_SPRITE_COUNT] = {"eRed.tga",      "eGreen.tga",    "eBlue.tga",
                                                                 "eWhite.tga",    "eThinGrey.tga", "eThinDark.tga",
                                                                 "manbearpig.tga"};
    for (int i = 0; i < ENEMY_SPRITE_COUNT; ++i) add(base(world.enemy_sprites[i].texture), enemy_files[i]);
    add(base(world.font.texture), "font.raw");
}

const char* TextureNames::name_of(const IDirect3DBaseTexture9* texture) const {
    if (texture == nullptr) return nullptr;
    for (const auto& [pointer, name] : names_) {
        if (pointer == texture) return name.c_str();
    }
    return "?";
}

const char* blend_name(const headless::QuadRecord& quad) {
    if (!quad.blend) return "off";
    if (quad.src_blend == D3DBLEND_SRCALPHA && quad.dest_blend == D3DBLEND_INVSRCALPHA) return "alpha";
    if (quad.src_blend == D3DBLEND_SRCALPHA && quad.dest_blend == D3DBLEND_ONE) return "add";
    return "other";
}

QuadView view_of(const headless::QuadRecord& quad, const TextureNames& names) {
    // Vertices come in strip order: top-left, top-right, bottom-left, bottom-right.
    return QuadView{names.name_of(quad.texture),
                    quad.x[0],
                    quad.y[0],
                    quad.x[1] - quad.x[0],
                    quad.y[2] - quad.y[0],
                    quad.color,
                    quad.u[0],
                    quad.v[0],
                    quad.u[3],
                    quad.v[3],
                    blend_name(quad),
                    quad.culled};
}

void append_state_line(std::string& out, int64_t frame) {
    const World& w = world;
    out.append("{\"frame\":");
    put_int(out, frame);
    flag(out, "in_play", w.in_play);
    field(out, "level", w.level);
    field(out, "stage_index", w.stage_index);
    field(out, "script_cursor", w.script_cursor);
    field(out, "camera_x", w.camera_x);
    field(out, "camera_y", w.camera_y);
    field(out, "player_x", w.player_x);
    field(out, "player_y", w.player_y);
    field(out, "player_health", w.player_health);
    field(out, "score", w.score);
    field(out, "high_score", w.high_score);
    field(out, "fade_alpha", w.fade_alpha);
    field(out, "bullet_cooldown", w.bullet_cooldown);
    field(out, "rocket_cooldown", w.rocket_cooldown);
    field(out, "rocket_ammo", w.rocket_ammo);
    field(out, "cursor_x", w.cursor_x);
    field(out, "cursor_y", w.cursor_y);
    field(out, "mouse_left", w.mouse_left);
    field(out, "mouse_right", w.mouse_right);
    key(out, "rand_state");
    put_uint(out, zv::rand_state());
    int64_t z_sum = 0;
    for (const Star& star : w.stars) z_sum += star.z;
    field(out, "stars_z_sum", z_sum);

    put_live_slots(out, "enemies", w.enemies, ENEMY_COUNT, [&out](const Enemy& e) {
        field(out, "kind", e.kind);
        field(out, "x", e.x);
        field(out, "y", e.y);
        field(out, "vx", e.vx);
        field(out, "vy", e.vy);
        field(out, "hp", e.hp);
        field(out, "boss_hp", e.boss_hp);
        field(out, "death_frames", e.death_frames);
    });

    put_projectiles(out, "bullets", w.bullets, BULLET_COUNT);
    put_projectiles(out, "rockets", w.rockets, ROCKET_COUNT);

    put_live_slots(out, "explosions", w.explosions, EXPLOSION_COUNT, [&out](const Explosion& x) {
        field(out, "x", x.x);
        field(out, "y", x.y);
        field(out, "age", x.age);
    });

    const Medkit& m = w.medkit;
    key(out, "medkit");
    out.append("{\"x\":");
    put_int(out, m.x);
    field(out, "y", m.y);
    field(out, "vx", m.vx);
    field(out, "vy", m.vy);
    flag(out, "visible", m.visible != 0);
    field(out, "respawn_countdown", m.respawn_countdown);
    out.append("}}\n");
}

void append_draws_line(std::string& out, int64_t frame, const headless::DrawLog& draws, const TextureNames& names) {
    out.append("{\"frame\":");
    put_int(out, frame);
    out.append(",\"draws\":[");
    for (int i = 0; i < draws.count; ++i) {
        const QuadView q = view_of(draws.quads[i], names);
        if (i > 0) out.push_back(',');
        out.append("{\"tex\":");
        put_string(out, q.tex);
        number(out, "x", q.x);
        number(out, "y", q.y);
        number(out, "w", q.w);
        number(out, "h", q.h);
        key(out, "color");
        put_color(out, q.color);
        key(out, "uv");
        out.push_back('[');
        put_float(out, q.u0);
        out.push_back(',');
        put_float(out, q.v0);
        out.push_back(',');
        put_float(out, q.u1);
        out.push_back(',');
        put_float(out, q.v1);
        out.push_back(']');
        key(out, "blend");
        put_string(out, q.blend);
        flag(out, "culled", q.culled);
        out.push_back('}');
    }
    out.append("]}\n");
}

}  // namespace replay
