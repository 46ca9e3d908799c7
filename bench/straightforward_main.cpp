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

std::FILE* fpw;
std::FILE* fp;
int iGRAY = 5, iBACK = 3, iBOLD = 0;
const int inGRAY[10] = {0xf8f8f8, 0xeeeeee, 0xdddddd, 0xc0c0c0, 0xbbbbbb,
                        0xaaaaaa, 0x999999, 0x888888, 0x777777, 0x666666};
double MOJI_W[11], MOJI_H[11], MOJI_D[11];
int MOJI_C[11], MOJIS = 1;
double ChX, ChY, ChDX, ChDY;
char ChSTR0[261], ChSTR[232];
int COLOR = 1, COLORi = 20, TYPE = 1, TYPEi = 20, LAYER = 0, LAYERi = 20, GROUP = 0, GROUPi = 20,
    TENS = 1, TENSi = 20, MOJISi = 20, MOJICi = 20;
double MOJIWi = -20, MOJIHi = 20, MOJIDi = 20;

unsigned Tcopy(const char* from, const char* to) {
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
    std::memset(ChSTR0, 0, sizeof ChSTR0);
    std::sscanf(buf + 2, "%lf %lf %lf %lf \"%260c", &ChX, &ChY, &ChDX, &ChDY, ChSTR0);
    std::size_t n = 0;
    while (n < 231 && ChSTR0[n] && ChSTR0[n] != '\r' && ChSTR0[n] != '\n') {
        ChSTR[n] = ChSTR0[n];
        ++n;
    }
    ChSTR[n] = 0;
    const double L = std::sqrt(ChDX * ChDX + ChDY * ChDY);
    const double th = std::atan2(ChDY, ChDX), c = std::cos(th), s = std::sin(th);
    const double m = iBACK, h = MOJIS >= 0 && MOJIS <= 10 ? MOJI_H[MOJIS] : 0.0;
    std::fprintf(fpw, "lc10 #%06x\n", inGRAY[iGRAY]);
    std::fprintf(fpw, "sl %.12f %.12f %.12f %.12f %.12f %.12f %.12f %.12f\n",
                 ChX + (-m * c + m * s), ChY + (-m * c - m * s), ChX + ((L + m) * c + m * s),
                 ChY + (-m * c + (L + m) * s), ChX + ((L + m) * c - (h + m) * s),
                 ChY + ((L + m) * s + (h + m) * c), ChX + (-m * c - (h + m) * s),
                 ChY + ((h + m) * c - m * s));
    static const char* prefix[4] = {"", "^!", "^/", "^_"};
    char str1[256];
    std::snprintf(str1, sizeof str1, "%s%s", prefix[iBOLD & 3], ChSTR);
    std::fprintf(fpw, "ch %.10f %.10f %.10f %.10f \"%s\n", ChX, ChY, ChDX, ChDY, str1);
}

void JW_PATTERN() {
    char buf[255];
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    for (unsigned jd_x = 0; jd_x < 50000 && std::fgets(buf, sizeof buf, fp); ++jd_x) {
        switch (buf[0]) {
        case '#': std::fputs(buf, fpw); break;
        case 'c':
            if (buf[1] == 'c') {
                std::fputs(buf, fpw);
            } else if (buf[1] == 'n') {
                std::fputs(buf, fpw);
                if (buf[2] == '0') {
                    MOJIS = 0;
                    std::sscanf(buf + 3, "%lf %lf %lf %d", &MOJI_W[0], &MOJI_H[0], &MOJI_D[0],
                                &MOJI_C[0]);
                    if (MOJISi == 20) {
                        MOJISi = 0, MOJIWi = MOJI_W[0], MOJIHi = MOJI_H[0];
                        MOJIDi = MOJI_D[0], MOJICi = MOJI_C[0];
                    }
                } else if (buf[2] != '"') {
                    std::sscanf(buf + 2, "%d", &MOJIS);
                    latch(MOJISi, MOJIS);
                }
            } else if (buf[1] != 'i') {
                text_record(buf);
            }
            break;
        case 'b':
            if (buf[1] == 'z') std::fputs(buf, fpw);
            break;
        case ' ': std::sscanf(buf + 1, "%lf %lf %lf %lf", &x1, &y1, &x2, &y2); break;
        case 'l':
            std::fputs(buf, fpw);
            if (buf[1] == 'g')
                std::sscanf(buf + 2, "%x", reinterpret_cast<unsigned*>(&GROUP)),
                    latch(GROUPi, GROUP);
            if (buf[1] == 'y')
                std::sscanf(buf + 2, "%x", reinterpret_cast<unsigned*>(&LAYER)),
                    latch(LAYERi, LAYER);
            if (buf[1] == 't') std::sscanf(buf + 2, "%d", &TYPE), latch(TYPEi, TYPE);
            if (buf[1] == 'c') std::sscanf(buf + 2, "%d", &COLOR), latch(COLORi, COLOR);
            break;
        case 'h':
            if (buf[1] == 'q') std::fputs("hd\n", fpw);
            if (buf[1] == 'c') {
                double* col = buf[2] == 'w' ? MOJI_W : buf[2] == 'h' ? MOJI_H : MOJI_D;
                if (buf[2] == 'c')
                    std::sscanf(buf + 4, "%d %d %d %d %d %d %d %d %d %d", &MOJI_C[1], &MOJI_C[2],
                                &MOJI_C[3], &MOJI_C[4], &MOJI_C[5], &MOJI_C[6], &MOJI_C[7],
                                &MOJI_C[8], &MOJI_C[9], &MOJI_C[10]);
                else
                    std::sscanf(buf + 4, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf", &col[1],
                                &col[2], &col[3], &col[4], &col[5], &col[6], &col[7], &col[8],
                                &col[9], &col[10]);
            }
            break;
        case 'p':
            if (buf[1] == 'n') {
                std::fputs(buf, fpw);
                std::sscanf(buf + 2, "%x", reinterpret_cast<unsigned*>(&TENS));
                latch(TENSi, TENS);
            }
            break;
        default: break;
        }
    }
}

void IniZokusei() {
    if (MOJIWi > 0) std::fprintf(fpw, "cn0 %.2f %.2f %.2f %d\n", MOJIWi, MOJIHi, MOJIDi, MOJICi);
    if (MOJISi != 0 && MOJISi <= 10) std::fprintf(fpw, "cn%d\n", MOJISi);
    std::fprintf(fpw, "lg%x\nly%x\nlt%d\nlc%d\n", GROUPi, LAYERi, TYPEi, COLORi);
    if (TENSi <= 9) std::fprintf(fpw, "pn%d\n", TENSi);
}

} // namespace

int main() {
    if (std::rename("jwc_temp.txt", "JWC_x2x2.$$") == 0) {
        std::rename("JWC_x2x2.$$", "JWC_x2x2.$$$");
        std::rename("JWC_x2x2.$$$", "JWC_TEMP.TXT");
    }
    const unsigned jd_xmax = Tcopy("JWC_TEMP.TXT", "JWC_TEMP.$$$");
    fpw = std::fopen("JWC_TEMP.$$$", "w");
    if (!fpw) return 1;
    if (jd_xmax > 50000) return 1;
    fp = std::fopen("JWC_TEMP.TXT", "r");
    if (!fp) return 1;
    JW_PATTERN();
    IniZokusei();
    std::fclose(fp);
    std::fclose(fpw);
    copy_back("JWC_TEMP.$$$", "JWC_TEMP.TXT");
    std::remove("JWC_TEMP.$$$");
    std::rename("JWC_TEMP.TXT", "jwc_temp.txt"); // where names tell case apart
    return 0;
}
