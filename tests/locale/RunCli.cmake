# cmake -DCLI=avilo-cli -DDATA=data -P RunCli.cmake, with AVILO_LOCALE_OUT naming a folder: runs
# avilo-cli's commands on the sample data in a copy of the data folder and keeps their outputs.
set(out $ENV{AVILO_LOCALE_OUT})
file(REMOVE_RECURSE ${out})
file(MAKE_DIRECTORY ${out}/work)
file(COPY ${DATA}/avilo.xsd ${DATA}/scrivodb.xml ${DATA}/acdb.xml ${DATA}/airports.xml
          ${DATA}/plans DESTINATION ${out}/work)
set(plan plans/schiphol-departure.av)
function(run name)
    execute_process(COMMAND ${CLI} ${ARGN} WORKING_DIRECTORY ${out}/work
        OUTPUT_FILE ${out}/${name}.out ERROR_FILE ${out}/${name}.err RESULT_VARIABLE code)
    file(WRITE ${out}/${name}.code "${code}\n")
endfunction()
run(check check ${plan})
run(generate generate ${plan} -o ${out}/script.xml)
run(airports airports 4.76 52.31)
# A short flight: the take-off and the start of the first leg, in virtual time.
run(fly fly ${plan} --limit 240 --track ${out}/track.csv)
file(REMOVE_RECURSE ${out}/work)
