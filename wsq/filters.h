// The 9/7 analysis filter pair of the WSQ transform, full symmetric taps.
#pragma once

namespace wsq {

constexpr int kLoFiltLength = 9;
constexpr int kHiFiltLength = 7;

inline constexpr float kLoFilt[kLoFiltLength] = {
    0.037828455506995f, -0.023849465019380f, -0.110624404418423f, 0.377402855612654f, 0.852698679009403f,
    0.377402855612654f, -0.110624404418423f, -0.023849465019380f, 0.037828455506995f};

inline constexpr float kHiFilt[kHiFiltLength] = {0.064538882628938f,  -0.040689417609558f, -0.418092273222212f,
                                                 0.788485616405664f,  -0.418092273222212f, -0.040689417609558f,
                                                 0.064538882628938f};

}  // namespace wsq
