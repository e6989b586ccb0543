// exposure_figure.cpp - the chance that a listener who heard every answer
// since the password was set answers the next challenge, and its words.
//
// Positions: a challenge draws five distinct positions (every position once
// before any again, for a password of fewer than five), and a listener who
// heard the characters at all of them answers. FIXED: one answer heard gives
// every later one. FLEXNET: the listener keeps the keys that agree with
// every equation heard and answers the sum most of them give; counted
// exactly over every key and every challenge the filter can draw. Pure
// functions; the only storage is the fixed tables of the FLEXNET count.
#include "auth/exposure_figure.h"
#include "auth/state_file.h"
#include "common/access_methods.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

enum { KEYS = 100000, DIGIT_VALUES = 10, SUM_MAX = 9 * 9 * FLEXNET_KEY_DIGITS };
static const long long RANK_PRIME = 2147483647;

// ---- positions ---------------------------------------------------------------

// choose - C(n, k) as a double (exact for every n and k here).
static double choose(int n, int k)
{
    if (k < 0 || n < k)
        return 0.0;
    double c = 1.0;
    for (int i = 1; i <= k; i++)
        c = c * (double)(n - k + i) / (double)i;
    return c;
}

double positions_chance(int heard, int length)
{
    if (length < 1)
        return 0.0;
    if (heard >= length)
        return 1.0;
    int drawn = length < EXPOSURE_DRAWN ? length : EXPOSURE_DRAWN;
    return choose(heard, drawn) / choose(length, drawn);
}

// ---- FLEXNET -------------------------------------------------------------------

// key_digit - the value a key character counts for.
static int key_digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : 0;
}

// key_digits - the five weights of key; a shorter key counts 0 for the missing ones.
static void key_digits(const char *key, int out[FLEXNET_KEY_DIGITS])
{
    bool ended = false;
    for (int i = 0; i < FLEXNET_KEY_DIGITS; i++) {
        ended = ended || key[i] == '\0';
        out[i] = ended ? 0 : key_digit(key[i]);
    }
}

// candidate_digits - the five digits of candidate key n (0 to 99,999), first digit first.
static void candidate_digits(long n, int out[FLEXNET_KEY_DIGITS])
{
    for (int i = FLEXNET_KEY_DIGITS - 1; i >= 0; i--, n /= 10)
        out[i] = (int)(n % 10);
}

// weighted - the sum of digits times weights.
static int weighted(const int digits[FLEXNET_KEY_DIGITS], const char *shown)
{
    int sum = 0;
    for (int i = 0; i < FLEXNET_KEY_DIGITS; i++)
        sum += digits[i] * (shown[i] - '0');
    return sum;
}

// agrees - candidate gives every equation the sum the key gives it.
static bool agrees(const int candidate[FLEXNET_KEY_DIGITS], const int sums[],
                   const char (*equations)[EXPOSURE_DRAWN + 1], int count)
{
    for (int e = 0; e < count; e++)
        if (weighted(candidate, equations[e]) != sums[e])
            return false;
    return true;
}

// The keys left, a column per key digit: the count runs through them once
// per challenge, so they lie side by side.
static uint8_t left_digits[FLEXNET_KEY_DIGITS][KEYS];
static long left_count;

// gather_keys - the keys that agree with every equation into left_digits.
static void gather_keys(const char *key, const char (*equations)[EXPOSURE_DRAWN + 1], int count)
{
    int weights[FLEXNET_KEY_DIGITS], candidate[FLEXNET_KEY_DIGITS];
    int sums[EXPOSURE_EQUATIONS_MAX];
    key_digits(key, weights);
    for (int e = 0; e < count; e++)
        sums[e] = weighted(weights, equations[e]);
    left_count = 0;
    for (long n = 0; n < KEYS; n++) {
        candidate_digits(n, candidate);
        if (!agrees(candidate, sums, equations, count))
            continue;
        for (int i = 0; i < FLEXNET_KEY_DIGITS; i++)
            left_digits[i][left_count] = (uint8_t)candidate[i];
        left_count++;
    }
}

long flexnet_keys_left(const char *key, const char (*equations)[EXPOSURE_DRAWN + 1], int count)
{
    if (count > EXPOSURE_EQUATIONS_MAX)
        count = EXPOSURE_EQUATIONS_MAX;
    gather_keys(key, equations, count);
    return left_count;
}

// varying_digits - the key digits that differ among the keys left, into
// places; their count. A digit every key left shares adds the same to every
// sum, so it never changes which sum is likeliest, whatever its weight.
static int varying_digits(int places[FLEXNET_KEY_DIGITS])
{
    int count = 0;
    for (int i = 0; i < FLEXNET_KEY_DIGITS; i++) {
        bool varies = false;
        for (long k = 1; k < left_count && !varies; k++)
            varies = left_digits[i][k] != left_digits[i][0];
        if (varies)
            places[count++] = i;
    }
    return count;
}

// likeliest_counts - over every weight of the last varying place, for one
// choice of the others: the sum of the counts of the likeliest sum. Each
// key's sum over the other places is outer (the places before the last
// two) plus weight times its digit at second (none when only one place
// varies). The ten weights of the last place are counted in one pass over
// the keys, each with a histogram of its own.
static long likeliest_counts(const uint16_t *outer, const uint8_t *second, int weight, const uint8_t *last)
{
    static uint32_t histogram[DIGIT_VALUES][SUM_MAX + 1];
    int low = SUM_MAX, high = 0;
    for (long k = 0; k < left_count; k++) {
        int base = outer[k] + (second ? weight * second[k] : 0), step = last[k];
        for (int w = 0; w < DIGIT_VALUES; w++)
            histogram[w][base + w * step]++;
        low = base < low ? base : low;
        high = base + 9 * step > high ? base + 9 * step : high;
    }
    long total = 0;
    for (int w = 0; w < DIGIT_VALUES; w++) {
        uint32_t most = 0;
        for (int s = low; s <= high; s++) {
            most = histogram[w][s] > most ? histogram[w][s] : most;
            histogram[w][s] = 0;
        }
        total += most;
    }
    return total;
}

// keys_left_chance - the average share of the likeliest sum over every
// challenge, for the keys gathered. Only the varying places matter; the
// weights of all but the last two are chosen in turn, the second-last's
// inside the pass over the keys.
static double keys_left_chance(void)
{
    static uint16_t outer[KEYS];
    int places[FLEXNET_KEY_DIGITS];
    int varying = varying_digits(places);
    if (varying == 0)
        return left_count > 0 ? 1.0 : 0.0;
    int chosen = varying >= 2 ? varying - 2 : 0;
    const uint8_t *second = varying >= 2 ? left_digits[places[varying - 2]] : nullptr;
    const uint8_t *last = left_digits[places[varying - 1]];
    long choices = 1;
    for (int i = 0; i < chosen; i++)
        choices *= DIGIT_VALUES;
    double total = 0.0;
    for (long c = 0; c < choices; c++) {
        int weights[FLEXNET_KEY_DIGITS];
        long rest = c;
        for (int i = 0; i < chosen; i++, rest /= 10)
            weights[i] = (int)(rest % 10);
        for (long k = 0; k < left_count; k++) {
            int sum = 0;
            for (int i = 0; i < chosen; i++)
                sum += weights[i] * left_digits[places[i]][k];
            outer[k] = (uint16_t)sum;
        }
        for (int w = 0; w < (second ? DIGIT_VALUES : 1); w++)
            total += (double)likeliest_counts(outer, second, w, last);
    }
    long challenges = choices * (second ? DIGIT_VALUES : 1) * DIGIT_VALUES;
    return total / (double)challenges / (double)left_count;
}

// sum_counts - how many of all keys give each sum to the challenge digits
// (a convolution: the key digits are independent when nothing is heard).
static void sum_counts(const int digits[FLEXNET_KEY_DIGITS], double counts[SUM_MAX + 1])
{
    double next[SUM_MAX + 1];
    memset(counts, 0, sizeof(double) * (SUM_MAX + 1));
    counts[0] = 1.0;
    for (int i = 0; i < FLEXNET_KEY_DIGITS; i++) {
        memset(next, 0, sizeof next);
        for (int s = 0; s <= SUM_MAX; s++)
            for (int v = 0; v < DIGIT_VALUES && counts[s] != 0.0; v++)
                if (s + v * digits[i] <= SUM_MAX)
                    next[s + v * digits[i]] += counts[s];
        memcpy(counts, next, sizeof next);
    }
}

// orderings - how many challenges are the digits in some order (5! over the repeats).
static double orderings(const int digits[FLEXNET_KEY_DIGITS])
{
    double n = 120.0;
    for (int i = 0, run = 1; i < FLEXNET_KEY_DIGITS; i++) {
        run = i > 0 && digits[i] == digits[i - 1] ? run + 1 : 1;
        n /= run;
    }
    return n;
}

// guess_chance - the chance of the likeliest sum when nothing is heard. The
// count of a challenge does not depend on the order of its digits, so each
// set of digits is counted once, weighted by its orderings. The same for
// every key: counted once per load.
static double guess_chance(void)
{
    static double counted = -1.0;
    if (counted >= 0.0)
        return counted;
    int d[FLEXNET_KEY_DIGITS];
    double counts[SUM_MAX + 1], total = 0.0;
    for (d[0] = 0; d[0] < DIGIT_VALUES; d[0]++)
        for (d[1] = d[0]; d[1] < DIGIT_VALUES; d[1]++)
            for (d[2] = d[1]; d[2] < DIGIT_VALUES; d[2]++)
                for (d[3] = d[2]; d[3] < DIGIT_VALUES; d[3]++)
                    for (d[4] = d[3]; d[4] < DIGIT_VALUES; d[4]++) {
                        sum_counts(d, counts);
                        double most = 0.0;
                        for (double c : counts)
                            most = c > most ? c : most;
                        total += orderings(d) * most;
                    }
    counted = total / KEYS / KEYS;
    return counted;
}

double flexnet_chance(const char *key, const char (*equations)[EXPOSURE_DRAWN + 1], int count)
{
    if (count <= 0)
        return guess_chance();
    flexnet_keys_left(key, equations, count);
    return keys_left_chance();
}

// power_mod - base to the exp modulo RANK_PRIME.
static long long power_mod(long long base, long long exp)
{
    long long result = 1;
    base %= RANK_PRIME;
    for (; exp > 0; exp >>= 1, base = base * base % RANK_PRIME)
        if (exp & 1)
            result = result * base % RANK_PRIME;
    return result;
}

// The rank is taken modulo a prime larger than any minor of digits can be
// (Hadamard: at most (9 * sqrt 5)^5, about 3.3 million): a minor is zero
// modulo the prime only when it is zero, so the rank is the rank over the
// rationals, with no fraction and no growth.
int equations_rank(const char (*equations)[EXPOSURE_DRAWN + 1], int count)
{
    long long rows[EXPOSURE_EQUATIONS_MAX][FLEXNET_KEY_DIGITS];
    int n = count < EXPOSURE_EQUATIONS_MAX ? count : EXPOSURE_EQUATIONS_MAX;
    for (int r = 0; r < n; r++)
        for (int c = 0; c < FLEXNET_KEY_DIGITS; c++)
            rows[r][c] = equations[r][c] - '0';
    int rank = 0;
    for (int c = 0; c < FLEXNET_KEY_DIGITS && rank < n; c++) {
        int pivot = -1;
        for (int r = rank; r < n && pivot < 0; r++)
            if (rows[r][c] != 0)
                pivot = r;
        if (pivot < 0)
            continue;
        for (int j = 0; j < FLEXNET_KEY_DIGITS; j++) {
            long long t = rows[rank][j];
            rows[rank][j] = rows[pivot][j];
            rows[pivot][j] = t;
        }
        long long inverse = power_mod(rows[rank][c], RANK_PRIME - 2);
        for (int r = rank + 1; r < n; r++) {
            long long factor = rows[r][c] * inverse % RANK_PRIME;
            for (int j = 0; j < FLEXNET_KEY_DIGITS; j++)
                rows[r][j] = ((rows[r][j] - factor * rows[rank][j]) % RANK_PRIME + RANK_PRIME) % RANK_PRIME;
        }
        rank++;
    }
    return rank;
}

// ---- the figure ----------------------------------------------------------------

ExposureKind exposure_kind_of_method(unsigned method)
{
    const AccessMethod *m = find_access_method(method);
    if (!m || m->challenge_kind == NO_CHALLENGE)
        return EXPOSURE_NONE;
    return state_kind(m->challenge_kind)->heard;
}

void exposure_figure(ExposureKind kind, const ExposureRecord *r, const char *password, ExposureFigure *out)
{
    memset(out, 0, sizeof *out);
    out->kind = kind;
    if (r && r->kind == EXPOSURE_WHOLE && kind != EXPOSURE_NONE)
        kind = out->kind = EXPOSURE_WHOLE;
    if (r && r->kind != kind)
        r = nullptr;
    if (kind == EXPOSURE_POSITIONS) {
        out->of = (int)strlen(password);
        out->heard = r ? positions_heard_count(r) : 0;
        out->chance = positions_chance(out->heard, out->of);
    } else if (kind == EXPOSURE_WHOLE) {
        out->of = 1;
        out->heard = r ? 1 : 0;
        out->chance = out->heard;
    } else if (kind == EXPOSURE_EQUATIONS) {
        out->of = FLEXNET_KEY_DIGITS;
        int count = r ? r->equation_count : 0;
        out->heard = r ? equations_rank(r->equations, count) : 0;
        out->chance = flexnet_chance(password, r ? r->equations : nullptr, count);
    }
}

double one_in(double chance)
{
    return chance > 0.0 ? 1.0 / chance : 0.0;
}

// The figures are sums of exact counts divided once; a chance of exactly
// the threshold must not miss it by the last bit of a division.
bool chance_passes(double chance, unsigned long one_in_threshold)
{
    return one_in_threshold > 0 && chance > 0.0 && chance * (double)one_in_threshold >= 1.0 - 1e-9;
}

void chance_text(double chance, char *out, size_t size)
{
    double n = one_in(chance);
    if (chance <= 0.0)
        snprintf(out, size, "none yet");
    else if (chance >= 1.0 - 1e-9)
        snprintf(out, size, "1 in 1");
    else if (n < 10.0 && fabs(n - floor(n + 0.5)) >= 0.05)
        snprintf(out, size, "1 in %.1f", n);
    else
        snprintf(out, size, "1 in %.0f", n);
}

void heard_text(const ExposureFigure *f, char *out, size_t size)
{
    if (f->kind == EXPOSURE_POSITIONS && f->heard > 0)
        snprintf(out, size, "%d of %d characters heard", f->heard, f->of);
    else if (f->kind == EXPOSURE_EQUATIONS && f->heard > 0)
        snprintf(out, size, "%d equation%s of %d heard", f->heard, f->heard == 1 ? "" : "s", f->of);
    else if (f->kind == EXPOSURE_WHOLE && f->heard > 0)
        snprintf(out, size, "the whole password heard");
    else
        snprintf(out, size, "nothing heard");
}
