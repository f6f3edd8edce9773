# The mixer's results are fixed by its formulas: no fused multiply-adds.
target_compile_options(kestol_sound PRIVATE -ffp-contract=off)
