-- One take in Ardour, headless, for bench/ardour-take (which starts it with
-- ardour7-lua and reads what it prints). Arguments:
--
--   ardour7-lua ardour_take.lua FOLDER NAME RATE BITS PRESET RECORD SECONDS PLAY STEP
--
-- STEP new: makes session NAME in FOLDER (which must not exist) on the
-- Dummy backend at RATE, its files WAV of BITS (16, 24 or 32 for float),
-- with RECORD mono tracks armed and PLAY mono tracks that play back, sets
-- the buffering PRESET (Small, Medium or Large) as the preferences window
-- does, rolls for SECONDS of wall time, stops and saves.
-- STEP prepare: the same session, but only a short take on the PLAY
-- tracks, saved; prints "take-prepared PATH..." (their files), which the
-- caller then makes as long as the take.
-- STEP reopen: opens that session, makes every played region as long as
-- its file, and records the take on the RECORD tracks while they play.
--
-- Its last line is "take-result " and a JSON object. Every line it prints
-- of its own starts with "take-".

local folder, name = arg[1], arg[2]
local rate, bits = tonumber (arg[3]), tonumber (arg[4])
local preset_name, n_record = arg[5], tonumber (arg[6])
local seconds, n_play = tonumber (arg[7]), tonumber (arg[8] or "0")
local step = arg[9] or "new"

local function now () return ARDOUR.LuaAPI.monotonic_time () / 1e6 end
local function say (...) print ("take-" .. string.format (...)) end
local function fail (...) say ("error " .. string.format (...)); quit (); os.exit (2) end

local presets = {
	Small = ARDOUR.BufferingPreset.Small,
	Medium = ARDOUR.BufferingPreset.Medium,
	Large = ARDOUR.BufferingPreset.Large,
}
local formats = { [16] = ARDOUR.SampleFormat.Int16, [24] = ARDOUR.SampleFormat.Int24, [32] = ARDOUR.SampleFormat.Float }
if not presets[preset_name] then fail ("unknown preset %s", tostring (preset_name)) end
if not formats[bits] then fail ("no %s-bit format", tostring (bits)) end

-- The butler reads the preset when it starts, with the session: set it first.
local rc = ARDOUR.config ()
rc:set_buffering_preset (presets[preset_name])
-- Defaults, said here so that a user's configuration cannot change a take.
rc:set_stop_recording_on_xrun (false)

local function tracks_named (s, prefix)
	local list = {}
	for r in s:get_routes ():iter () do
		local t = r:to_track ()
		if not t:isnil () and string.sub (t:name (), 1, #prefix) == prefix then
			table.insert (list, t)
		end
	end
	return list
end

local function arm (list, on)
	for _, t in ipairs (list) do
		t:rec_enable_control ():set_value (on and 1 or 0, PBD.GroupControlDisposition.NoGroup)
	end
end

local function regions_of (list)
	local n = 0
	for _, t in ipairs (list) do n = n + t:playlist ():n_regions () end
	return n
end

local function tracks_with_region (list)
	local n = 0
	for _, t in ipairs (list) do
		if t:playlist ():n_regions () > 0 then n = n + 1 end
	end
	return n
end

-- Rolls with LIST armed for SECONDS of wall time and stops; returns the
-- figures of the roll. The regions of a take are made by the butler after
-- the transport stopped, once it wrote what was left in the buffers: wait
-- for every armed track to have one, or for the count to stay put for a
-- while when some never get one.
local function take (s, list, seconds)
	local engine = s:engine ()
	local before = regions_of (list)
	arm (list, true)
	s:maybe_enable_record (false)
	local xruns_before = s:get_xrun_count ()
	local asked = now ()
	s:request_roll (ARDOUR.TransportRequestSource.TRS_UI)
	-- After a locate the transport rolls only once the butler has filled
	-- the playback buffers: the take is timed from the roll.
	local from = s:transport_sample ()
	while not (s:transport_rolling () and s:transport_sample () ~= from) do
		if now () - asked > 120 then fail ("the transport did not roll in 120 s") end
		ARDOUR.LuaAPI.usleep (1000)
	end
	local t0, p0, sample0 = now (), engine:processed_samples (), s:transport_sample ()
	say ("rolling")
	io.stdout:flush ()
	local started = false
	while now () - t0 < seconds do
		ARDOUR.LuaAPI.usleep (20000)
		started = started or s:actively_recording ()
	end
	local t1, p1 = now (), engine:processed_samples ()
	local rolled = s:transport_sample () - sample0
	s:request_stop (false, false, ARDOUR.TransportRequestSource.TRS_UI)
	say ("stopping")
	io.stdout:flush ()
	while not s:transport_stopped () do ARDOUR.LuaAPI.usleep (10000) end
	local t_stopped = now ()
	local last, last_change = regions_of (list), now ()
	while tracks_with_region (list) < #list and now () - last_change < 10 do
		ARDOUR.LuaAPI.usleep (100000)
		local n = regions_of (list)
		if n ~= last then last, last_change = n, now () end
	end
	return {
		wall = t1 - t0, samples = p1 - p0, rolled = rolled, recorded = started, roll_delay = t0 - asked,
		engine_xruns = s:get_xrun_count () - xruns_before,
		stop_seconds = t_stopped - t1, regions_seconds = last_change - t1,
		new_regions = regions_of (list) - before,
	}
end

local s
if step == "reopen" then
	-- A fresh process: the session tool crashes or hangs when it opens a
	-- session again after closing one.
	s = load_session (folder, name)
	if not s then fail ("could not open session %s in %s", name, folder) end
	for _, t in ipairs (tracks_named (s, "play")) do
		for r in t:playlist ():region_list ():iter () do
			r:set_length (Temporal.timecnt_t (r:source (0):length ():samples ()))
		end
	end
	arm (tracks_named (s, "play"), false)
	-- From the start, so that the disk reader fills its buffers from there before the roll.
	s:request_locate (0, false, ARDOUR.LocateTransportDisposition.MustStop, ARDOUR.TransportRequestSource.TRS_UI)
	ARDOUR.LuaAPI.usleep (2000000)
else
	s = create_session (folder, name, rate)
	if not s then fail ("could not make session %s in %s", name, folder) end
	local cfg = s:cfg ()
	cfg:set_native_file_data_format (formats[bits])
	cfg:set_native_file_header_format (ARDOUR.HeaderFormat.WAVE)
	if n_record > 0 then
		s:new_audio_track (1, 2, nil, n_record, "rec", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
	end
	if n_play > 0 then
		s:new_audio_track (1, 2, nil, n_play, "play", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
	end
end

if step == "prepare" then
	-- The played tracks' files come from a short take of their own, made as
	-- long as the take by the caller: Ardour's session tool has no import.
	local play = tracks_named (s, "play")
	take (s, play, 1.0)
	arm (play, false)
	s:save_state ("", false, false, false, false, false)
	local paths = {}
	for _, t in ipairs (play) do
		for r in t:playlist ():region_list ():iter () do
			table.insert (paths, r:source (0):to_filesource ():path ())
		end
	end
	print ("take-prepared " .. table.concat (paths, "\t"))
	io.stdout:flush ()
	close_session ()
	return
end

local record = tracks_named (s, "rec")
local played = tracks_named (s, "play")
local played_length = 0
for _, t in ipairs (played) do
	for r in t:playlist ():region_list ():iter () do
		played_length = math.max (played_length, r:length ():samples ())
	end
end

local result = take (s, record, seconds)
arm (record, false)
s:save_state ("", false, false, false, false, false)

-- Each recorded track: its regions, and the capture source of its take.
local per_track = {}
for _, t in ipairs (record) do
	local regions, length, xruns, path = 0, 0, 0, ""
	for r in t:playlist ():region_list ():iter () do
		regions = regions + 1
		local src = r:source (0)
		length = length + src:length ():samples ()
		xruns = xruns + src:captured_xruns ():size ()
		path = src:to_filesource ():path ()
	end
	table.insert (per_track, string.format ('{"track":"%s","regions":%d,"samples":%d,"capturedXruns":%d,"file":"%s"}',
		t:name (), regions, length, xruns, path))
end

say ('result {"wallSeconds":%.6f,"rollDelaySeconds":%.3f,"engineSamples":%d,"transportSamples":%d,"recorded":%s,"engineXruns":%d,'
	.. '"stopSeconds":%.3f,"regionsSeconds":%.3f,"newRegions":%d,"sampleRate":%d,"blockSize":%d,'
	.. '"captureBufferSeconds":%.3f,"playbackBufferSeconds":%.3f,"bufferingPreset":%d,'
	.. '"playedRegionSamples":%d,"tracks":[%s]}',
	result.wall, result.roll_delay, result.samples, result.rolled, tostring (result.recorded), result.engine_xruns,
	result.stop_seconds, result.regions_seconds, result.new_regions, s:nominal_sample_rate (), s:get_block_size (),
	rc:get_audio_capture_buffer_seconds (), rc:get_audio_playback_buffer_seconds (), rc:get_buffering_preset (),
	played_length, table.concat (per_track, ","))
io.stdout:flush ()
close_session ()
