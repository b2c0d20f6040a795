#!/usr/bin/env python3
"""Draws the SVG pictures of the bundled skins into data/skins/<folder>/.

Each skin is a palette and a few shape choices; the pictures are small
nine-slice pieces (the margins in skin.ini keep their edges unscaled).
Run it after changing a palette, then rebuild: the build renders the SVGs
to PNG at twice their size and zips them with skin.ini.
    scripts/draw_skins.py
"""
import os

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "skins")

SKINS = {
    # dark and calm: slate blue-grey, soft teal accents
    "symbios": dict(radius=4, window_top="#262c35", window_bottom="#181c22", window_edge="#3a4452",
                    panel_edge="#3b4656", panel_fill="#1f252d",
                    button_top="#3a4350", button_bottom="#2b323c", button_edge="#4c5868",
                    hover_edge="#5fb3c8", pressed_top="#234a57", pressed_bottom="#2f6272",
                    disabled_top="#2a2f36", disabled_bottom="#24282e", disabled_edge="#363c45",
                    track="#12161b", track_edge="#3a4452", thumb_top="#79c6d8", thumb_bottom="#3f8ea3",
                    thumb_edge="#2b6373", check_fill="#12161b", check_edge="#55657a", check_mark="#7fd3e6",
                    combo_top="#1c2128", combo_bottom="#161a20", combo_edge="#465263", arrow="#9fb4c8",
                    gloss=0.35),
    # the wide-switch skin: deep night blue with violet glow
    "atmosphere": dict(radius=8, window_top="#1b1440", window_bottom="#0b0a1c", window_edge="#4a3a8a",
                       panel_edge="#5a47a8", panel_fill="#140f30",
                       button_top="#3c2f7a", button_bottom="#241c52", button_edge="#6a56c4",
                       hover_edge="#c08cff", pressed_top="#6c3cc0", pressed_bottom="#4a2a90",
                       disabled_top="#1e1840", disabled_bottom="#181434", disabled_edge="#2e2660",
                       track="#0a0818", track_edge="#4a3a8a", thumb_top="#e0b0ff", thumb_bottom="#8a52e0",
                       thumb_edge="#5a30a8", check_fill="#0a0818", check_edge="#6a56c4", check_mark="#d8a0ff",
                       combo_top="#160f34", combo_bottom="#0f0a26", combo_edge="#5a47a8", arrow="#c8b0ff",
                       gloss=0.5),
    # clearly different: a warm, light vintage amplifier panel (cream and tweed brown)
    "tweed": dict(radius=2, window_top="#efe4c8", window_bottom="#d9c9a0", window_edge="#8a6a3a",
                  panel_edge="#8a6a3a", panel_fill="#e8dab6",
                  button_top="#fbf4e2", button_bottom="#d8c69a", button_edge="#7a5a2a",
                  hover_edge="#b8462a", pressed_top="#c8b080", pressed_bottom="#e6d6ae",
                  disabled_top="#e6dcc4", disabled_bottom="#dcd0b4", disabled_edge="#b8a888",
                  track="#5a4326", track_edge="#3a2a14", thumb_top="#f6efe0", thumb_bottom="#c0a878",
                  thumb_edge="#5a4326", check_fill="#fbf4e2", check_edge="#7a5a2a", check_mark="#b8462a",
                  combo_top="#fffaf0", combo_bottom="#efe4c8", combo_edge="#7a5a2a", arrow="#5a4326",
                  gloss=0.25),
}


def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n'
            f'{body}\n</svg>\n')


def grad(gid, top, bottom, vertical=True):
    x2, y2 = ("0", "1") if vertical else ("1", "0")
    return (f'<defs><linearGradient id="{gid}" x1="0" y1="0" x2="{x2}" y2="{y2}">'
            f'<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/></linearGradient></defs>')


def box(w, h, top, bottom, edge, r, inset=0.5):
    return (grad("g", top, bottom) +
            f'<rect x="{inset}" y="{inset}" width="{w - 2 * inset}" height="{h - 2 * inset}" rx="{r}" '
            f'fill="url(#g)" stroke="{edge}" stroke-width="1"/>')


def pictures(p):
    r = p["radius"]
    out = {}
    out["window"] = svg(64, 64, grad("g", p["window_top"], p["window_bottom"]) +
                        f'<rect width="64" height="64" fill="url(#g)"/>'
                        f'<rect x="0.5" y="0.5" width="63" height="63" fill="none" stroke="{p["window_edge"]}"/>'
                        f'<rect x="1.5" y="1.5" width="61" height="61" fill="none" stroke="#ffffff" '
                        f'stroke-opacity="0.06"/>')
    out["panel"] = svg(32, 32, f'<rect x="0.5" y="0.5" width="31" height="31" rx="{min(r, 6)}" '
                               f'fill="{p["panel_fill"]}" fill-opacity="0.55" stroke="{p["panel_edge"]}"/>')
    out["button"] = svg(32, 24, box(32, 24, p["button_top"], p["button_bottom"], p["button_edge"], r) +
                        f'<rect x="2" y="1.5" width="28" height="1" fill="#ffffff" fill-opacity="0.12"/>')
    out["button_hover"] = svg(32, 24, box(32, 24, p["button_top"], p["button_bottom"], p["hover_edge"], r) +
                              f'<rect x="2" y="1.5" width="28" height="1" fill="#ffffff" fill-opacity="0.2"/>')
    out["button_pressed"] = svg(32, 24, box(32, 24, p["pressed_top"], p["pressed_bottom"], p["hover_edge"], r))
    out["button_disabled"] = svg(32, 24, box(32, 24, p["disabled_top"], p["disabled_bottom"],
                                             p["disabled_edge"], r))
    out["bar_track"] = svg(16, 8, f'<rect x="0.5" y="0.5" width="15" height="7" rx="{min(r, 3)}" '
                                  f'fill="{p["track"]}" stroke="{p["track_edge"]}"/>')
    out["bar_thumb"] = svg(16, 16, box(16, 16, p["thumb_top"], p["thumb_bottom"], p["thumb_edge"], min(r, 4)) +
                           f'<rect x="7" y="4" width="2" height="8" fill="{p["thumb_edge"]}" fill-opacity="0.5"/>')
    out["check_off"] = svg(12, 12, f'<rect x="0.5" y="0.5" width="11" height="11" rx="{min(r, 3)}" '
                                   f'fill="{p["check_fill"]}" stroke="{p["check_edge"]}"/>')
    out["check_on"] = svg(12, 12, f'<rect x="0.5" y="0.5" width="11" height="11" rx="{min(r, 3)}" '
                                  f'fill="{p["check_fill"]}" stroke="{p["check_edge"]}"/>'
                                  f'<path d="M2.8 6.2 L5 8.5 L9.3 3.4" fill="none" stroke="{p["check_mark"]}" '
                                  f'stroke-width="1.8" stroke-linecap="round" stroke-linejoin="round"/>')
    out["combo"] = svg(48, 22, box(48, 22, p["combo_top"], p["combo_bottom"], p["combo_edge"], min(r, 4)) +
                       f'<line x1="32.5" y1="4" x2="32.5" y2="18" stroke="{p["combo_edge"]}"/>'
                       f'<path d="M36.5 9 L40 13 L43.5 9 Z" fill="{p["arrow"]}"/>')
    out["led_lit"] = svg(8, 16, grad("g", "#ffffff", "#ffffff") .replace(
        '<stop offset="1" stop-color="#ffffff"/>', '<stop offset="1" stop-color="#ffffff" stop-opacity="0"/>')
                         .replace('<stop offset="0" stop-color="#ffffff"/>',
                                  f'<stop offset="0" stop-color="#ffffff" stop-opacity="{p["gloss"]}"/>') +
                         '<rect width="8" height="8" fill="url(#g)"/>')
    return out


def main():
    for folder, palette in SKINS.items():
        d = os.path.join(ROOT, folder)
        os.makedirs(d, exist_ok=True)
        for name, text in pictures(palette).items():
            with open(os.path.join(d, name + ".svg"), "w") as f:
                f.write(text)


if __name__ == "__main__":
    main()
