// textmatte-straightforward: the whole program written the straightforward
// way, as the baseline that whole runs are measured against: C streams in
// text mode, fgets, sscanf and fprintf, the C library's atan2, sin and cos,
// the line count by copying the file, and the copy back line by line.
// It follows the same record rules; it is a yardstick, not a product.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::FILE* output;
std::FILE* input;
int shade_index = 5, margin = 3, decoration = 0;
const int kShades[10] = {0xf8f8f8, 0xeeeeee, 0xdddddd, 0xc0c0c0, 0xbbbbbb,
                         0xaaaaaa, 0x999999, 0x888888, 0x777777, 0x666666};
double type_width[11], type_height[11], type_spacing[11];
int type_pen[11], type_in_force = 1;
double x, y, dx, dy;
char raw[261], cleaned[232];
int colour = 1, first_colour = 20, line_type = 1, first_line_type = 20, layer = 0, first_layer = 20,
    layer_group = 0, first_layer_group = 20, pen = 1, first_pen = 20, first_text_type = 20,
    first_free_pen = 20;
double first_free_width = -20, first_free_height = 20, first_free_spacing = 20;

unsigned copy_counting_lines(const char* from, const char* to) {
    std::FILE* in = std::fopen(from, "r");
    if (!in) std::exit(-1);
    std::FILE* out = std::fopen(to, "w");
    if (!out) std::exit(-1);
    char buf[255];
    unsigned n = 0;
    while (!std::feof(in) && n <= 50000 && std::fgets(buf, sizeof buf, in)) {
        ++n;
        std::fputs(buf, out);
    }
    std::fclose(out);
    std::fclose(in);
    return n;
}

// The copy back, line by line, of the whole output (which has three lines
// for every text, so it can be longer than the line limit).
void copy_back(const char* from, const char* to) {
    std::FILE* in = std::fopen(from, "r");
    std::FILE* out = std::fopen(to, "w");
    if (!in || !out) std::exit(-1);
    char buf[255];
    while (std::fgets(buf, sizeof buf, in))
        std::fputs(buf, out);
    std::fclose(out);
    std::fclose(in);
}

void latch(int& latched, int current) {
    if (latched == 20) latched = current;
}

void text_record(const char* buf) {
    std::memset(raw, 0, sizeof raw);
    std::sscanf(buf + 2, "%lf %lf %lf %lf \"%260c", &x, &y, &dx, &dy, raw);
    std::size_t n = 0;
    while (n < 231 && raw[n] && raw[n] != '\r' && raw[n] != '\n') {
        cleaned[n] = raw[n];
        ++n;
    }
    cleaned[n] = 0;
    const double L = std::sqrt(dx * dx + dy * dy);
    const double th = std::atan2(dy, dx), c = std::cos(th), s = std::sin(th);
    const double m = margin,
                 h = type_in_force >= 0 && type_in_force <= 10 ? type_height[type_in_force] : 0.0;
    std::fprintf(output, "lc10 #%06x\n", kShades[shade_index]);
    std::fprintf(output, "sl %.12f %.12f %.12f %.12f %.12f %.12f %.12f %.12f\n",
                 x + (-m * c + m * s), y + (-m * c - m * s), x + ((L + m) * c + m * s),
                 y + (-m * c + (L + m) * s), x + ((L + m) * c - (h + m) * s),
                 y + ((L + m) * s + (h + m) * c), x + (-m * c - (h + m) * s),
                 y + ((h + m) * c - m * s));
    static const char* prefix[4] = {"", "^!", "^/", "^_"};
    char decorated[256];
    std::snprintf(decorated, sizeof decorated, "%s%s", prefix[decoration & 3], cleaned);
    std::fprintf(output, "ch %.10f %.10f %.10f %.10f \"%s\n", x, y, dx, dy, decorated);
}

void scan_records() {
    char buf[255];
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    for (unsigned line_index = 0; line_index < 50000 && std::fgets(buf, sizeof buf, input);
         ++line_index) {
        switch (buf[0]) {
        case '#': std::fputs(buf, output); break;
        case 'c':
            if (buf[1] == 'c') {
                std::fputs(buf, output);
            } else if (buf[1] == 'n') {
                std::fputs(buf, output);
                if (buf[2] == '0') {
                    type_in_force = 0;
                    std::sscanf(buf + 3, "%lf %lf %lf %d", &type_width[0], &type_height[0],
                                &type_spacing[0], &type_pen[0]);
                    if (first_text_type == 20) {
                        first_text_type = 0, first_free_width = type_width[0],
                        first_free_height = type_height[0];
                        first_free_spacing = type_spacing[0], first_free_pen = type_pen[0];
                    }
                } else if (buf[2] != '"') {
                    std::sscanf(buf + 2, "%d", &type_in_force);
                    latch(first_text_type, type_in_force);
                }
            } else if (buf[1] != 'i') {
                text_record(buf);
            }
            break;
        case 'b':
            if (buf[1] == 'z') std::fputs(buf, output);
            break;
        case ' ': std::sscanf(buf + 1, "%lf %lf %lf %lf", &x1, &y1, &x2, &y2); break;
        case 'l':
            std::fputs(buf, output);
            if (buf[1] == 'g')
                std::sscanf(buf + 2, "%x", reinterpret_cast<unsigned*>(&layer_group)),
                    latch(first_layer_group, layer_group);
            if (buf[1] == 'y')
                std::sscanf(buf + 2, "%x", reinterpret_cast<unsigned*>(&layer)),
                    latch(first_layer, layer);
            if (buf[1] == 't')
                std::sscanf(buf + 2, "%d", &line_type), latch(first_line_type, line_type);
            if (buf[1] == 'c') std::sscanf(buf + 2, "%d", &colour), latch(first_colour, colour);
            break;
        case 'h':
            if (buf[1] == 'q') std::fputs("hd\n", output);
            if (buf[1] == 'c') {
                double* col = buf[2] == 'w'   ? type_width
                              : buf[2] == 'h' ? type_height
                                              : type_spacing;
                if (buf[2] == 'c')
                    std::sscanf(buf + 4, "%d %d %d %d %d %d %d %d %d %d", &type_pen[1],
                                &type_pen[2], &type_pen[3], &type_pen[4], &type_pen[5],
                                &type_pen[6], &type_pen[7], &type_pen[8], &type_pen[9],
                                &type_pen[10]);
                else
                    std::sscanf(buf + 4, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &col[1],
                                &col[2], &col[3], &col[4], &col[5], &col[6], &col[7], &col[8],
                                &col[9], &col[10]);
            }
            break;
        case 'p':
            if (buf[1] == 'n') {
                std::fputs(buf, output);
                std::sscanf(buf + 2, "%x", reinterpret_cast<unsigned*>(&pen));
                latch(first_pen, pen);
            }
            break;
        default: break;
        }
    }
}

void write_trailer() {
    if (first_free_width > 0)
        std::fprintf(output, "cn0 %.2f %.2f %.2f %d\n", first_free_width, first_free_height,
                     first_free_spacing, first_free_pen);
    if (first_text_type != 0 && first_text_type <= 10)
        std::fprintf(output, "cn%d\n", first_text_type);
    std::fprintf(output, "lg%x\nly%x\nlt%d\nlc%d\n", first_layer_group, first_layer,
                 first_line_type, first_colour);
    if (first_pen <= 9) std::fprintf(output, "pn%d\n", first_pen);
}

} // namespace

int main() {
    if (std::rename("jwc_temp.txt", "JWC_x2x2.$$") == 0) {
        std::rename("JWC_x2x2.$$", "JWC_x2x2.$$$");
        std::rename("JWC_x2x2.$$$", "JWC_TEMP.TXT");
    }
    const unsigned counted_lines = copy_counting_lines("JWC_TEMP.TXT", "JWC_TEMP.$$$");
    output = std::fopen("JWC_TEMP.$$$", "w");
    if (!output) return 1;
    if (counted_lines > 50000) return 1;
    input = std::fopen("JWC_TEMP.TXT", "r");
    if (!input) return 1;
    scan_records();
    write_trailer();
    std::fclose(input);
    std::fclose(output);
    copy_back("JWC_TEMP.$$$", "JWC_TEMP.TXT");
    std::remove("JWC_TEMP.$$$");
    std::rename("JWC_TEMP.TXT", "jwc_temp.txt"); // where names tell case apart
    return 0;
}
