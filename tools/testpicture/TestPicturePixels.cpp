#include "tools/testpicture/TestPicturePixels.h"

namespace orv::testpicture {

namespace {

// Integer-only generator so the picture does not depend on the floating-point library.
struct Lcg {
    std::uint32_t state;
    std::uint32_t Next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
};

// Integer sine table scaled to +-1024, one period over 1024 steps.
int Wave(int x) {
    // Parabolic approximation of the sine: exact enough for a shape, identical everywhere.
    const int p = ((x % 1024) + 1024) % 1024;
    const int half = p < 512 ? p : p - 512;
    const int v = (4 * half * (512 - half)) / 256; // 0..1024
    return p < 512 ? v : -v;
}

void Be32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 3; i >= 0; --i)
        v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

void Tag(std::vector<std::uint8_t>& v, const char* sig) {
    v.insert(v.end(), sig, sig + 4);
}

std::uint32_t S15(double d) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(d * 65536.0 + (d < 0 ? -0.5 : 0.5)));
}

} // namespace

std::vector<std::uint8_t> GeneratePixels() {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(kWidth) * kHeight * 4);
    Lcg rng{20100817u};
    // Dark background: a slow gradient towards deep blue with a sparse faint grain.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = &px[(static_cast<std::size_t>(y) * kWidth + x) * 4];
            const int grain = ((rng.Next() >> 16) & 63) == 0 ? 2 : 0;
            p[0] = static_cast<std::uint8_t>(6 + y / 96 + grain);
            p[1] = static_cast<std::uint8_t>(8 + x / 128 + (grain >> 1));
            p[2] = static_cast<std::uint8_t>(22 + (x + y) / 48 + grain);
            p[3] = 255;
        }
    }
    // The band: dots of saturated colour scattered around a wave that crosses the picture.
    static const std::uint8_t kPalette[][3] = {{255, 64, 64},   {255, 200, 40}, {80, 255, 90},
                                               {60, 200, 255},  {190, 90, 255}, {255, 110, 220},
                                               {255, 255, 255}, {40, 255, 220}};
    constexpr int kDots = 8000;
    for (int d = 0; d < kDots; ++d) {
        const int cx = rng.Below(kWidth);
        const int centre = kHeight / 2 + (Wave(cx * 2) * 150) / 1024;
        const int spread = 40 + rng.Below(90);
        const int cy = centre + rng.Below(2 * spread + 1) - spread;
        const int radius = 1 + rng.Below(4);
        const std::uint8_t* c = kPalette[rng.Below(8)];
        const int bright = 160 + rng.Below(96);
        const std::uint8_t alpha = static_cast<std::uint8_t>(170 + rng.Below(86));
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                const int x = cx + dx;
                const int y = cy + dy;
                if (x < 0 || y < 0 || x >= kWidth || y >= kHeight || dx * dx + dy * dy > radius * radius)
                    continue;
                std::uint8_t* p = &px[(static_cast<std::size_t>(y) * kWidth + x) * 4];
                const int fade = dx * dx + dy * dy == radius * radius ? 2 : 1;
                for (int k = 0; k < 3; ++k)
                    p[k] = static_cast<std::uint8_t>((c[k] * bright / 255) / fade + p[k] / 2);
                p[3] = alpha;
            }
        }
    }
    return px;
}

std::vector<std::uint8_t> ColourProfile() {
    // Tag data first, laid out after the header and the tag table.
    struct TagData {
        const char* sig;
        std::vector<std::uint8_t> data;
    };
    std::vector<TagData> tags;
    auto xyz = [](double x, double y, double z) {
        std::vector<std::uint8_t> v;
        Tag(v, "XYZ ");
        Be32(v, 0);
        Be32(v, S15(x));
        Be32(v, S15(y));
        Be32(v, S15(z));
        return v;
    };
    {
        const char text[] = "Orvanta test picture RGB";
        std::vector<std::uint8_t> v;
        Tag(v, "desc");
        Be32(v, 0);
        Be32(v, sizeof(text));
        v.insert(v.end(), text, text + sizeof(text));
        Be32(v, 0);     // Unicode language
        Be32(v, 0);     // Unicode count
        v.push_back(0); // ScriptCode code
        v.push_back(0);
        v.push_back(0);           // ScriptCode count
        v.insert(v.end(), 67, 0); // ScriptCode text
        tags.push_back({"desc", v});
    }
    {
        const char text[] = "No copyright, use freely";
        std::vector<std::uint8_t> v;
        Tag(v, "text");
        Be32(v, 0);
        v.insert(v.end(), text, text + sizeof(text));
        tags.push_back({"cprt", v});
    }
    tags.push_back({"wtpt", xyz(0.9642, 1.0, 0.8249)});
    tags.push_back({"rXYZ", xyz(0.4361, 0.2225, 0.0139)});
    tags.push_back({"gXYZ", xyz(0.3851, 0.7169, 0.0971)});
    tags.push_back({"bXYZ", xyz(0.1431, 0.0606, 0.7141)});
    std::vector<std::uint8_t> curve;
    Tag(curve, "curv");
    Be32(curve, 0);
    Be32(curve, 1);
    curve.push_back(0x02); // gamma 2.2 as u8Fixed8
    curve.push_back(0x33);
    tags.push_back({"rTRC", curve});
    tags.push_back({"gTRC", curve});
    tags.push_back({"bTRC", curve});

    const std::size_t tableSize = 4 + 12 * tags.size();
    std::vector<std::uint8_t> body;
    std::vector<std::uint32_t> offsets;
    std::size_t pos = 128 + tableSize;
    for (const TagData& t : tags) {
        offsets.push_back(static_cast<std::uint32_t>(pos));
        body.insert(body.end(), t.data.begin(), t.data.end());
        pos += t.data.size();
        while (pos % 4) {
            body.push_back(0);
            ++pos;
        }
    }
    const std::uint32_t total = static_cast<std::uint32_t>(pos);

    std::vector<std::uint8_t> p;
    Be32(p, total);
    Be32(p, 0);          // preferred CMM
    Be32(p, 0x02100000); // version 2.1
    Tag(p, "mntr");
    Tag(p, "RGB ");
    Tag(p, "XYZ ");
    for (int d : {2010, 8, 17, 12, 0, 0}) {
        p.push_back(static_cast<std::uint8_t>(d >> 8));
        p.push_back(static_cast<std::uint8_t>(d));
    }
    Tag(p, "acsp");
    Be32(p, 0); // platform
    Be32(p, 0); // flags
    Be32(p, 0); // manufacturer
    Be32(p, 0); // model
    Be32(p, 0); // attributes
    Be32(p, 0);
    Be32(p, 0); // perceptual
    Be32(p, S15(0.9642));
    Be32(p, S15(1.0));
    Be32(p, S15(0.8249));
    Be32(p, 0); // creator
    p.resize(128, 0);
    Be32(p, static_cast<std::uint32_t>(tags.size()));
    for (std::size_t i = 0; i < tags.size(); ++i) {
        Tag(p, tags[i].sig);
        Be32(p, offsets[i]);
        Be32(p, static_cast<std::uint32_t>(tags[i].data.size()));
    }
    p.insert(p.end(), body.begin(), body.end());
    return p;
}

} // namespace orv::testpicture
