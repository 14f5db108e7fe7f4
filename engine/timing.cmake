# Sources of the timing analysis: PCR, PES time stamps, decoder buffer model.
target_sources(orv_engine PRIVATE
)
