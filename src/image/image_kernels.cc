#include "image/image_kernels.h"

namespace {

const ImageKernels kernel_table[] = {
    {"plain", 0, jpeg_idct_plain, jpeg_mcu_to_rgb_plain, rgb_to_argb_row_plain},
#ifdef KESTOL_X86
    {"ssse3", cpu_ssse3, jpeg_idct_plain, jpeg_mcu_to_rgb_plain, rgb_to_argb_row_ssse3},
    {"avx2", cpu_ssse3 | cpu_avx2, jpeg_idct_avx2, jpeg_mcu_to_rgb_avx2, rgb_to_argb_row_ssse3},
#endif
};

}  // namespace

const ImageKernels& image_kernels() { static const ImageKernels& best = best_version(kernel_table); return best; }
int image_kernel_count() { return usable_versions(kernel_table); }
const ImageKernels& image_kernel(int index) { return kernel_table[index]; }
