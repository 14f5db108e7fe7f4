# Sources of the table analysis: initialisation phase, SI handlers, programme guide.
target_sources(orv_engine PRIVATE
)
