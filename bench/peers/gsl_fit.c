/* Peer for the benchmark: fits every set of a workload file with GSL's
 * multifit_nlinear (trust region Levenberg-Marquardt, finite-difference
 * Jacobian), one set after another, one thread.
 * Usage: gsl_fit MODEL_ID FILE; prints "ok p0 p1 ..." or "fail" per set. */
#include <gsl/gsl_blas.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct set {
    size_t n, cap;
    double *x, *y, *w;
    double start[8];
    size_t p;
};

static int model_id;

static double model(const double *a, double x) {
    switch (model_id) {
        case 12: return a[0] * sin(2 * M_PI * (x + a[2]) / a[1]) + a[3];
        case 22: return a[0] / (1 + a[1] * exp(-a[2] * x));
        case 23: return a[0] / (1 + a[1] / (x * x));
        default: return a[0] * exp(-0.5 * ((x - a[1]) / a[2]) * ((x - a[1]) / a[2]));
    }
}

static int residuals(const gsl_vector *a, void *data, gsl_vector *f) {
    const struct set *s = data;
    for (size_t i = 0; i < s->n; ++i)
        gsl_vector_set(f, i, model(a->data, s->x[i]) - s->y[i]);
    return GSL_SUCCESS;
}

static void fit(struct set *s, const gsl_multifit_nlinear_parameters *params) {
    gsl_multifit_nlinear_fdf fdf = {residuals, NULL, NULL, s->n, s->p, s, 0, 0, 0};
    gsl_multifit_nlinear_workspace *w =
        gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, params, s->n, s->p);
    gsl_vector_view a0 = gsl_vector_view_array(s->start, s->p);
    gsl_vector_view wts = gsl_vector_view_array(s->w, s->n);
    gsl_multifit_nlinear_winit(&a0.vector, &wts.vector, &fdf, w);
    int info = 0;
    int status = gsl_multifit_nlinear_driver(200, 1e-8, 1e-8, 1e-8, NULL, NULL, &info, w);
    if (status == GSL_SUCCESS) {
        printf("ok");
        for (size_t j = 0; j < s->p; ++j) printf(" %.17g", gsl_vector_get(w->x, j));
        printf("\n");
    } else {
        printf("fail\n");
    }
    gsl_multifit_nlinear_free(w);
}

int main(int argc, char **argv) {
    if (argc < 3) return 2;
    model_id = atoi(argv[1]);
    FILE *in = fopen(argv[2], "r");
    if (!in) return 1;
    gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
    struct set s = {0};
    char line[512];
    while (fgets(line, sizeof line, in)) {
        if (line[0] == '/' && line[1] == '/') {
            if (s.n > 0) fit(&s, &params);
            s.n = 0;
            s.p = 0;
            for (char *t = strchr(line, '='); t && s.p < 8; t = strchr(t + 1, '='))
                s.start[s.p++] = 1.05 * atof(t + 1);
            continue;
        }
        double x, y, sd;
        if (sscanf(line, "%lf %lf %lf", &x, &y, &sd) != 3) continue;
        if (s.n == s.cap) {
            s.cap = s.cap ? 2 * s.cap : 256;
            s.x = realloc(s.x, s.cap * sizeof *s.x);
            s.y = realloc(s.y, s.cap * sizeof *s.y);
            s.w = realloc(s.w, s.cap * sizeof *s.w);
        }
        s.x[s.n] = x;
        s.y[s.n] = y;
        s.w[s.n] = 1.0 / (sd * sd);
        ++s.n;
    }
    if (s.n > 0) fit(&s, &params);
    fclose(in);
    free(s.x);
    free(s.y);
    free(s.w);
    return 0;
}
